#include "upgrade/FileOps.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {
bool IsAbsenceError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// How often, and how far apart, an operation is tried while another program holds a file: a
// program asked to quit may still be closing its files, a virus scanner may glance at a new one.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kFileRetryMs = 250;

// A file that is being deleted, or that the system still maps after its program ended, refuses
// access for a moment on Windows; a virus scanner's open refuses sharing.
bool IsSharingError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

bool IsSystemLeadByte(unsigned char byte) {
    return ::IsDBCSLeadByte(byte) != FALSE;
}

// Runs `attempt` until it succeeds, or fails otherwise than by a sharing error, at most
// `attempts` times, kFileRetryMs apart. The failure is the last attempt's.
template <typename Attempt> Result RetryWhileShared(Attempt attempt, int attempts = kFileAttempts) {
    for (int tries = 1;; ++tries) {
        Result done = attempt();
        if (done || !IsSharingError(done.code) || tries >= attempts)
            return done;
        ::Sleep(kFileRetryMs);
    }
}

// The identity of the file or folder at `path`, whatever way it is spelled.
bool IdentityAt(const CString& path, FileIdentity* identity) {
    return IdentityOf(OpenToLookAt(WideText(path.Str()), FILE_READ_ATTRIBUTES).Get(), identity);
}

// The file system's own name for the open `file` (below its volume), as wide text; "" when it
// gives none.
std::wstring OwnName(HANDLE file) {
    std::wstring name(MAX_PATH * 2, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(file, &name[0], MAX_PATH * 2,
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_NONE);
    name.resize(length < name.size() ? length : 0);
    return name;
}

// Whether `a` and `b` are the same name, letter case aside.
bool SameName(const std::wstring& a, const wchar_t* b, size_t length) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b,
                                  static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// Whether the open `file` lies in the open `folder` itself (not below it), as the file system
// names both now, on the same volume.
bool LiesDirectlyIn(HANDLE file, HANDLE folder) {
    FileIdentity inFile, ofFolder;
    const std::wstring name = OwnName(file);
    std::wstring expected = OwnName(folder);
    if (expected.empty() || !IdentityOf(file, &inFile) || !IdentityOf(folder, &ofFolder) ||
        inFile.volume != ofFolder.volume)
        return false;
    if (expected.back() != L'\\')
        expected += L'\\';
    return name.size() > expected.size() && SameName(expected, name.c_str(), expected.size()) &&
           name.find(L'\\', expected.size()) == std::wstring::npos;
}

// Whether the open `file` is the one named `path` in its folder: no link at that name led
// elsewhere. Most often the file system's own name for it is the path itself below its drive, and
// nothing more need be looked at. Otherwise the folder is reached the same way (a drive that
// stands for a folder, a mount point or a junction on the way lead there alike), and the name
// compared as the file system spells it (letter case and short names aside). The folder's listing
// gives the name's long form: a search for the one name, where a long path of the whole path
// would search every folder on the way.
bool NamedAsOpened(HANDLE file, const CString& path) {
    const std::wstring opened = OwnName(file);
    const std::wstring wide = WideText(path.Str());
    if (opened.empty())
        return false;
    if (wide.size() > 2 && wide[1] == L':' && SameName(opened, &wide[2], wide.size() - 2))
        return true;
    WIN32_FIND_DATAW entry;
    const HANDLE search = ::FindFirstFileW(wide.c_str(), &entry);
    const bool listed = search != INVALID_HANDLE_VALUE && ::FindClose(search);
    const FileHandle folder =
        OpenToLookAt(WideText((FolderOf(path) + "\\").Str()), FILE_READ_ATTRIBUTES);
    if (!listed || !folder)
        return false;
    std::wstring expected = OwnName(folder.Get());
    if (expected.empty() || expected.back() != L'\\')
        expected += L'\\';
    expected += entry.cFileName;
    return SameName(expected, opened.c_str(), opened.size());
}
} // namespace

FileHandle OpenToLookAt(const std::wstring& path, DWORD access, DWORD flags) {
    return FileHandle(::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
}

bool IdentityOf(HANDLE file, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (file == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(file, &info))
        return false;
    *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

CString FolderOf(const CString& path) {
    return CString(FolderOfPath(path.Str(), IsSystemLeadByte));
}

bool FitsFileFunctions(const CString& path) {
    return PathFits(path.Str(), kLongestPath, IsSystemLeadByte);
}

bool LiesWithin(const CString& path, const CString& folder) {
    FileIdentity target;
    if (!IdentityAt(folder, &target))
        return false;
    for (CString ancestor = path; !ancestor.IsEmpty(); ancestor = FolderOf(ancestor)) {
        // "C:" alone names the current folder of drive C, not its root.
        const bool driveRoot = ancestor.GetLength() == 2 && ancestor.Str()[1] == ':';
        FileIdentity identity;
        if (IdentityAt(driveRoot ? ancestor + "\\" : ancestor, &identity) && identity == target)
            return true;
        if (driveRoot)
            break;
    }
    return false;
}

FileProbe ProbeFile(const CString& path) {
    FileProbe probe;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!FitsFileFunctions(path)) {
        probe.kind = FileProbe::Kind::Unreadable;
        probe.error = ERROR_FILENAME_EXCED_RANGE;
    } else if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        DWORD error = ::GetLastError();
        probe.kind = IsAbsenceError(error) ? FileProbe::Kind::Absent : FileProbe::Kind::Unreadable;
        probe.error = error;
    } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        probe.kind = FileProbe::Kind::Folder;
    } else {
        probe.kind = FileProbe::Kind::File;
        probe.lastWrite = (static_cast<long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                          data.ftLastWriteTime.dwLowDateTime;
        // Whole seconds of 10,000,000 ticks: 2^7 x 125 x 625.
        unsigned rest = 0;
        probe.mtime = static_cast<long long>(
            DividedBy(DividedBy(static_cast<unsigned long long>(probe.lastWrite) >> 7, 125, &rest),
                      625, &rest));
        probe.size =
            (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        probe.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    return probe;
}

Result OpenPlainFile(const CString& path, DWORD access, DWORD share, FileHandle* file) {
    file->Reset(::CreateFileA(path, access | FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // Its attributes alone: the volume's serial number that GetFileInformationByHandle also asks
    // for is not needed, and costs Wine a query of the volume on every open.
    FILE_ATTRIBUTE_TAG_INFO info;
    Result opened =
        !*file ? LastError(path)
        : !::GetFileInformationByHandleEx(file->Get(), FileAttributeTagInfo, &info, sizeof info)
            ? LastError(path)
        : info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY ? Failed(path, ERROR_DIRECTORY)
        : info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT || !NamedAsOpened(file->Get(), path)
            ? Failed(path, ERROR_CANT_RESOLVE_FILENAME)
            : Result();
    if (!opened)
        file->Reset();
    return opened;
}

Result CheckPlainFile(const CString& path) {
    FileHandle file;
    Result plain = OpenPlainFile(path, 0, kShareAll, &file);
    return IsAbsenceError(plain.code) ? Result() : plain;
}

Result HoldFile(const CString& path, FileHandle* held) {
    const bool readOnly = ProbeFile(path).readOnly;
    // The right to write is what the system refuses while a program runs from the file; a
    // read-only file is held with the rights to rename it and to change its attributes alone (its
    // backup is deleted through this handle), since Windows refuses to open one for writing (Wine
    // does not).
    const DWORD access = GENERIC_READ | DELETE | (readOnly ? FILE_WRITE_ATTRIBUTES : GENERIC_WRITE);
    return RetryWhileShared([&] {
        Result opened = OpenPlainFile(path, access, 0, held);
        // A running program's file, whose loader shares reading and renaming but never writing:
        // it can still be renamed away, and its old file is deleted once no longer in use.
        if (opened.code == ERROR_SHARING_VIOLATION)
            opened = OpenPlainFile(path, GENERIC_READ | DELETE, FILE_SHARE_READ, held);
        return opened;
    });
}

Result DeleteAtRestart(const CString& path) {
    if (Result plain = CheckPlainFile(path); !plain)
        return plain;
    return ::MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? Result() : LastError(path);
}

Result RenameHeld(const FileHandle& held, const CString& newPath) {
    const std::wstring name = WideText(newPath.Str());
    // A path the 8-bit file functions take has at most kLongestPath characters.
    alignas(
        FILE_RENAME_INFO) char buffer[sizeof(FILE_RENAME_INFO) + kLongestPath * sizeof(wchar_t)];
    if (name.size() > kLongestPath)
        return Failed(newPath, ERROR_FILENAME_EXCED_RANGE);
    const DWORD size = static_cast<DWORD>(sizeof buffer);
    FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer);
    std::memset(buffer, 0, sizeof buffer);
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.c_str(), info->FileNameLength);
    return ::SetFileInformationByHandle(held.Get(), FileRenameInfo, info, size)
               ? Result()
               : LastError(newPath);
}

Result RenameFile(const CString& from, const CString& to) {
    return RetryWhileShared([&] {
        FileHandle file;
        Result opened = OpenPlainFile(from, DELETE, kShareAll, &file);
        return opened ? RenameHeld(file, to) : opened;
    });
}

Result OpenToRemove(const CString& path, FileHandle* file) {
    Result opened = RetryWhileShared(
        [&] { return OpenPlainFile(path, DELETE | FILE_WRITE_ATTRIBUTES, kShareAll, file); });
    return IsAbsenceError(opened.code) ? Result() : opened;
}

Result DeleteHeld(const FileHandle& file, const CString& path) {
    // Windows deletes no read-only file; should the attribute stay, the deletion says why.
    FILE_BASIC_INFO basic = {};
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
        (void)::SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof basic);
    }
    return ::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition,
                                        sizeof disposition)
               ? Result()
               : LastError(path);
}

Result RemoveFile(const CString& path, int attempts, HANDLE folder) {
    return RetryWhileShared(
        [&] {
            FileHandle file;
            Result opened = OpenPlainFile(path, DELETE | FILE_WRITE_ATTRIBUTES, kShareAll, &file);
            return !opened ? (IsAbsenceError(opened.code) ? Result() : opened)
                   : folder && !LiesDirectlyIn(file.Get(), folder)
                       ? Failed(path, ERROR_CANT_RESOLVE_FILENAME)
                       : DeleteHeld(file, path);
        },
        attempts);
}

Result ReadExactly(HANDLE file, const CString& path, char* buffer, size_t size) {
    while (size > 0) {
        DWORD piece = size > kCopyChunk ? kCopyChunk : static_cast<DWORD>(size);
        DWORD read = 0;
        if (!::ReadFile(file, buffer, piece, &read, nullptr))
            return LastError(path);
        if (read == 0)
            return Failed(path, ERROR_HANDLE_EOF);
        buffer += read;
        size -= read;
    }
    return {};
}

Result ReadAll(HANDLE file, const CString& path, size_t limit, std::string* bytes) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file, &size) || ::SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0)
        return LastError(path);
    if (static_cast<unsigned long long>(size.QuadPart) > limit)
        return Failed(path, ERROR_FILE_TOO_LARGE);
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    return ReadExactly(file, path, &(*bytes)[0], bytes->size());
}

Result ReadWholeFile(const CString& path, size_t limit, std::string* bytes) {
    FileHandle file;
    Result opened =
        RetryWhileShared([&] { return OpenPlainFile(path, GENERIC_READ, FILE_SHARE_READ, &file); });
    return opened ? ReadAll(file.Get(), path, limit, bytes) : opened;
}

CString AnsiPathOf(const std::wstring& path) {
    CString spelled = CodePageText(path, CP_ACP, Spelling::Exact);
    if (FitsFileFunctions(spelled))
        return spelled;
    const std::wstring shortPath = AfxShortPathOf(path);
    if (shortPath.empty())
        return CString();
    spelled = CodePageText(shortPath, CP_ACP, Spelling::Exact);
    return FitsFileFunctions(spelled) ? spelled : CString();
}

std::wstring FolderWithinLength(const std::wstring& folder, size_t longest) {
    std::wstring within = folder.size() <= longest ? folder : AfxShortPathOf(folder);
    return within.size() <= longest ? within : std::wstring();
}
