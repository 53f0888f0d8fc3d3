#include "upgrade/FileOps.h"

#include <vector>

namespace {
constexpr long long kTicksPerSecond = 10000000;
// The copy's read and write size. Copies of 50 MiB files in pieces of 512 KiB or more stalled now
// and then, at up to five times the usual time, on Linux's file cache (under Wine, and natively as
// well); in pieces of 256 KiB they ran at full speed every time.
constexpr DWORD kCopyChunk = 1 << 18;

bool IsAbsenceError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

long long WholeSeconds(const FILETIME& time) {
    ULARGE_INTEGER ticks;
    ticks.LowPart = time.dwLowDateTime;
    ticks.HighPart = time.dwHighDateTime;
    return static_cast<long long>(ticks.QuadPart / kTicksPerSecond);
}

// Gives `target` the access rules (the discretionary access list) of `like`. A file system that
// keeps none has none to give.
bool CopyAccessRules(const CString& like, const CString& target) {
    DWORD needed = 0;
    ::GetFileSecurityA(like, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0)
        return ::GetLastError() == ERROR_NOT_SUPPORTED;
    std::vector<BYTE> descriptor(needed);
    return ::GetFileSecurityA(like, DACL_SECURITY_INFORMATION, descriptor.data(), needed,
                              &needed) &&
           ::SetFileSecurityA(target, DACL_SECURITY_INFORMATION, descriptor.data());
}
} // namespace

bool IsSystemLeadByte(unsigned char byte) {
    return ::IsDBCSLeadByte(byte) != FALSE;
}

CString FolderOf(const CString& path) {
    return CString(FolderOfPath(path.Str(), IsSystemLeadByte));
}

bool FitsFileFunctions(const CString& path) {
    return PathFits(path.Str(), kLongestPath, IsSystemLeadByte);
}

FileProbe ProbeFile(const CString& path) {
    FileProbe probe;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!FitsFileFunctions(path)) {
        probe.kind = FileProbe::Kind::Unreadable;
    } else if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        probe.kind = IsAbsenceError(::GetLastError()) ? FileProbe::Kind::Absent
                                                      : FileProbe::Kind::Unreadable;
    } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        probe.kind = FileProbe::Kind::Folder;
    } else {
        probe.kind = FileProbe::Kind::File;
        probe.mtime = WholeSeconds(data.ftLastWriteTime);
        probe.size =
            (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        probe.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    return probe;
}

FileHandle OpenExclusively(const CString& path) {
    return FileHandle(::CreateFileA(path, GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool DeleteWithRetries(const CString& path, int attempts) {
    return Retry(attempts, [&] { return ::DeleteFileA(path) || IsAbsenceError(::GetLastError()); });
}

std::string ReadWholeFile(CFile& file) {
    unsigned long long length = file.GetLength();
    if (length > 0x7FFFFFFFull)
        throw CFileException(file.GetFilePath(), ERROR_FILE_TOO_LARGE);
    std::string bytes(static_cast<size_t>(length), '\0');
    if (file.Read(&bytes[0], static_cast<UINT>(length)) != length)
        throw CFileException(file.GetFilePath(), ERROR_HANDLE_EOF);
    return bytes;
}

NewFile::~NewFile() {
    if (m_finished || m_path.IsEmpty())
        return;
    m_file.Reset();
    DeleteWithRetries(m_path);
}

bool NewFile::Create(const CString& path) {
    m_file.Reset(
        ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
        DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            return false; // not ours: never deleted
        throw CFileException(path, error);
    }
    m_path = path;
    return true;
}

void NewFile::Write(const void* data, DWORD size) {
    DWORD written = 0;
    if (!::WriteFile(m_file.Get(), data, size, &written, nullptr))
        throw CFileException(m_path, ::GetLastError());
    if (written != size)
        throw CFileException(m_path, ERROR_DISK_FULL);
}

void NewFile::Finish(const FILETIME* lastWrite, const CString& like) {
    WIN32_FILE_ATTRIBUTE_DATA old;
    bool replaces = ::GetFileAttributesExA(like, GetFileExInfoStandard, &old) != FALSE;
    if (!::SetFileTime(m_file.Get(), replaces ? &old.ftCreationTime : nullptr, nullptr,
                       lastWrite) ||
        !::FlushFileBuffers(m_file.Get()))
        throw CFileException(m_path, ::GetLastError());
    m_file.Reset();
    if (replaces &&
        (!CopyAccessRules(like, m_path) || !::SetFileAttributesA(m_path, old.dwFileAttributes)))
        throw CFileException(m_path, ::GetLastError());
    m_finished = true;
}

bool CopyToNewFile(const CString& source, const CString& target, const CString& like) {
    FileHandle in(::CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size;
    FILETIME lastWrite;
    if (!in || !::GetFileSizeEx(in.Get(), &size) ||
        !::GetFileTime(in.Get(), nullptr, nullptr, &lastWrite))
        throw CFileException(source, ::GetLastError());
    NewFile out;
    if (!out.Create(target))
        return false;
    std::vector<char> buffer(kCopyChunk);
    long long copied = 0;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(in.Get(), buffer.data(), kCopyChunk, &read, nullptr))
            throw CFileException(source, ::GetLastError());
        if (read == 0)
            break;
        out.Write(buffer.data(), read);
        copied += read;
    }
    if (copied != size.QuadPart)
        throw CFileException(source, ERROR_HANDLE_EOF);
    out.Finish(&lastWrite, like);
    return true;
}

namespace {
// `text` in the system's code page, or "" when the code page cannot spell it.
CString SpelledInCodePage(const std::wstring& text) {
    BOOL lossy = FALSE;
    int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(),
                                       static_cast<int>(text.size()), nullptr, 0, nullptr, &lossy);
    if (text.empty() || length <= 0 || lossy)
        return CString();
    std::string bytes(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()),
                          &bytes[0], length, nullptr, &lossy);
    return lossy ? CString() : CString(bytes);
}
} // namespace

CString AnsiPathOf(const std::wstring& path) {
    CString spelled = SpelledInCodePage(path);
    if (FitsFileFunctions(spelled))
        return spelled;
    DWORD length = ::GetShortPathNameW(path.c_str(), nullptr, 0);
    if (length == 0)
        return CString();
    std::wstring shortPath(length, L'\0');
    length = ::GetShortPathNameW(path.c_str(), &shortPath[0], length);
    shortPath.resize(length);
    spelled = SpelledInCodePage(shortPath);
    return FitsFileFunctions(spelled) ? spelled : CString();
}
