// The copy lives in the user's temporary folder, whose path the system's 8-bit code page may not
// spell (a user name in another script): the copy's own steps use the wide functions. The path
// of Setup.exe reaches the copy as an 8-bit argument, and is one the 8-bit functions take.
#include "run/SelfRemoval.h"

#include "run/CleanupCommandLine.h"
#include "framework/AfxFile.h"
#include "framework/Handles.h"
#include "upgrade/FileOps.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/RegReader.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace {
// What a failure of the temporary copy names: its folder may be one the code page cannot spell.
constexpr char kCopyName[] = "the temporary copy of Setup.exe";
// Setup.exe is about 100 KiB; anything far larger is not it.
constexpr size_t kLargestProgram = 64 << 20;

// How long the copy goes on trying to delete Setup.exe, a quarter of a second apart: as long as
// any process runs it (a second Setup showing that this one ran, say), Windows keeps it. Half an
// hour, then the copy gives up rather than stay for ever.
constexpr int kDeleteAttempts = 4 * 60 * 30;

// Whether the program `path` is built as this one: the same file header and section table, which
// the system maps as they are in the program's file. (This program's own file cannot be read to
// compare: the copy runs from a file that is deleted once Setup, which made it, has ended.)
bool BuiltAsThisProgram(const std::wstring& path) {
    const char* own = reinterpret_cast<const char*>(::GetModuleHandleW(nullptr));
    const LONG at = reinterpret_cast<const IMAGE_DOS_HEADER*>(own)->e_lfanew;
    const IMAGE_NT_HEADERS* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(own + at);
    const char* sections = reinterpret_cast<const char*>(IMAGE_FIRST_SECTION(headers));
    const size_t end = static_cast<size_t>(sections - own) +
                       headers->FileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER);
    char theirs[1024];
    FileHandle file = OpenToLookAt(path, GENERIC_READ);
    return end <= sizeof theirs && file && ReadExactly(file.Get(), CString(), theirs, end) &&
           std::memcmp(theirs + at, own + at, sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER)) == 0 &&
           std::memcmp(theirs + (sections - own), sections, end - (sections - own)) == 0;
}

// Opens the folder `folder` (a drive's root for "C:") itself, a link at its name included.
FileHandle OpenFolder(const CString& folder, DWORD access, DWORD share) {
    const std::wstring whole = WideText((folder.GetLength() == 2 ? folder + "\\" : folder).Str());
    return FileHandle(::CreateFileW(whole.c_str(), access, share, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
}

// Whether `a` and `b` name the same file, as the file system sees them (any spelling).
bool SameFile(const std::wstring& a, const std::wstring& b) {
    FileIdentity one, other;
    return IdentityOf(OpenToLookAt(a, FILE_READ_ATTRIBUTES).Get(), &one) &&
           IdentityOf(OpenToLookAt(b, FILE_READ_ATTRIBUTES).Get(), &other) && one == other;
}

// Makes the temporary copy of Setup.exe, new under a name that nothing had, and holds it open in
// `copy` so that no other program can change, rename or delete it until it has been started, and
// so that the system deletes it once the copy has ended. Windows runs no program that a handle
// may write: the copy is written through one handle and closed, then opened again for the run.
// What happened in that moment is checked: the very file written, with the very bytes.
Result MakeCopy(const std::wstring& folder, HANDLE program, std::wstring* path, FileHandle* copy) {
    // Setup.exe, read through the handle that has held it since the start of the run.
    std::string bytes;
    if (Result read = ReadAll(program, "Setup.exe", kLargestProgram, &bytes); !read)
        return read;
    for (UINT unique = ::GetTickCount() ^ ::GetCurrentProcessId(), tries = 0; tries < 100;
         ++unique, ++tries) {
        wchar_t name[MAX_PATH] = {};
        if (unique == 0 || !::GetTempFileNameW(folder.c_str(), L"Del", unique & 0xFFFF, name))
            continue;
        FileHandle written;
        Result made = AfxCreateNewFile(name, GENERIC_WRITE, FILE_SHARE_READ, &written);
        if (made.code == ERROR_FILE_EXISTS)
            continue;
        FileIdentity before, after;
        DWORD count = 0;
        if (made && (!::WriteFile(written.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                  &count, nullptr) ||
                     count != bytes.size() || !IdentityOf(written.Get(), &before)))
            made = LastError(kCopyName);
        if (!made)
            return made;
        written.Reset();
        // A link put under the name in that moment is a file of another identity. (Wine follows
        // a link put there, where Windows opens the link itself and deletes only that.)
        copy->Reset(
            ::CreateFileW(name, GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        std::string reread;
        const bool same = IdentityOf(copy->Get(), &after) && after == before &&
                          ReadAll(copy->Get(), kCopyName, kLargestProgram, &reread) &&
                          reread == bytes;
        *path = name;
        if (!same)
            copy->Reset();
        return same ? Result() : Failed(kCopyName, ERROR_FILE_CORRUPT);
    }
    return Failed(kCopyName, ERROR_FILE_EXISTS);
}
} // namespace

FileHandle HoldOwnProgram(const CString& setupExe) {
    FileHandle program;
    // Readers only: nobody may change, rename or replace it while Setup runs.
    return OpenPlainFile(setupExe, GENERIC_READ, FILE_SHARE_READ, &program) ? std::move(program)
                                                                            : FileHandle();
}

bool MayRemoveSetupFolder(const CString& setupExe, const CString& installBase) {
    // Without a trustworthy path of its own there is no folder Setup may clean, and in the
    // product's own folders (the install base, or below it: Setup was unpacked there) there is
    // nothing Setup may delete.
    const CString setupFolder = FolderOf(setupExe);
    return !setupFolder.IsEmpty() &&
           (installBase.IsEmpty() || !LiesWithin(setupFolder, installBase));
}

Result RemovePayload(const CString& setupFolder) {
    // A payload file that cannot be deleted (or that is not a plain file, which is never deleted)
    // keeps the folder in place; Setup.exe is still removed.
    Result removedAll;
    for (const PayloadRow& row : kPayloadRows)
        if (Result removed = RemoveFile(setupFolder + row.source, kTryOnce);
            NotAPlainFile(removed) && removedAll)
            removedAll = removed;
    return removedAll;
}

Result StartSelfRemoval(const CString& modulePath, HANDLE program) {
    std::wstring temporaryFolder = AfxTemporaryFolder();
    // GetTempFileName takes a folder of at most kLongestTemporaryFolder characters, and a
    // current folder may have at most kLongestPath.
    std::wstring namingFolder = FolderWithinLength(temporaryFolder, kLongestTemporaryFolder);
    std::wstring currentFolder = FolderWithinLength(temporaryFolder, kLongestPath);
    std::wstring temporaryCopy;
    if (program == INVALID_HANDLE_VALUE || namingFolder.empty() || currentFolder.empty())
        return Failed(modulePath, program == INVALID_HANDLE_VALUE ? ERROR_INVALID_HANDLE
                                                                  : ERROR_FILENAME_EXCED_RANGE);
    // Closing this handle deletes the copy, unless the copy runs from it.
    FileHandle copyFile;
    if (Result made = MakeCopy(namingFolder, program, &temporaryCopy, &copyFile); !made)
        return made;
    // Besides waiting on it, the copy asks the handle which process it names, so that it acts
    // only on a real installer process.
    KernelHandle self(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE,
                                    ::GetCurrentProcessId()));
    if (!self)
        return LastError("Setup.exe");

    // Both paths are quoted, so blanks reach the copy whole; the line is as long as it needs to
    // be. It is built in UTF-8, where quotes and backslashes are never part of another character.
    // The copy's path is in the short form of its folder when that folder is too long for
    // GetTempFileName. (Wine starts no program whose path in its long form is longer than a path
    // may be, short form or not: the copy is then not started and deleted again.)
    std::string line =
        BuildCleanupCommandLine(CodePageText(temporaryCopy, CP_UTF8),
                                static_cast<long>(reinterpret_cast<intptr_t>(self.Get())),
                                CodePageText(WideText(modulePath.Str()), CP_UTF8));
    std::wstring commandLine = WideText(line, CP_UTF8);
    if (commandLine.empty())
        return Failed(kCopyName, ERROR_BAD_PATHNAME);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // The copy runs in the temporary folder: a process whose current folder is the setup folder
    // would keep that folder from being removed.
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                          currentFolder.c_str(), &startup, &info))
        return LastError(kCopyName);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return {};
}

const char* RefusedCleanup(long handle, const std::wstring& setupExe, FileHandle* folder) {
    HANDLE installer = reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
    const DWORD processId = ::GetProcessId(installer);
    if (processId == 0 || processId == ::GetCurrentProcessId())
        return "argument 1 names no other process";
    const CString path = AnsiPathOf(setupExe);
    if (path.IsEmpty())
        return "argument 2 has no path the file functions take";
    // The folder is held from here until the copy ends, so that the folder these checks find is
    // the one RunCleanupCopy deletes in. Shared with readers and writers but never with deletion:
    // Windows lets nobody rename it or delete it meanwhile. (Wine lets them: the deletion itself
    // checks that the program still lies in the folder held.)
    *folder = OpenFolder(FolderOf(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!*folder)
        return "argument 2 lies in no folder that can be opened";
    // The process's program, whichever way it was started. Setup hands its copy a handle to
    // itself, the copy's parent; a parent that waits for the copy runs another program.
    std::wstring image(32768, L'\0');
    DWORD length = static_cast<DWORD>(image.size());
    if (!::QueryFullProcessImageNameW(installer, 0, &image[0], &length))
        return "argument 1 names no program";
    image.resize(length);
    if (!SameFile(image, setupExe))
        return "argument 2 is not its program";
    if (!BuiltAsThisProgram(setupExe))
        return "argument 2 is not Setup.exe";
    // Nothing in the product's own folders is Setup's to delete. The copy is a process of its own:
    // it reads the install base from the registry itself.
    CString installBase;
    (void)CRegReader().ReadString(kVersionKey, kBasePathValue, &installBase, HKEY_LOCAL_MACHINE);
    if (!MayRemoveSetupFolder(path, installBase))
        return "argument 2 is the product's";
    return nullptr;
}

int RunCleanupCopy(long handle, const std::wstring& setupExe, FileHandle folder) {
    HANDLE installer = reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
    // A process handle is signalled once its process has ended (RefusedCleanup found a process).
    if (::WaitForSingleObject(installer, INFINITE) != WAIT_OBJECT_0)
        return 0;
    ::CloseHandle(installer);
    // RefusedCleanup has found that this path and its folder, held since, are Setup's to remove.
    const CString path = AnsiPathOf(setupExe), folderPath = FolderOf(path);
    // The executable may still be mapped for a moment after its process ended, or run by another
    // process; what cannot be deleted stays, with nobody to tell.
    if (!RemoveFile(path, kDeleteAttempts, folder.Get()))
        return 0;
    // The folder goes once empty, through a handle found to be the folder held (which shares no
    // deletion, so it is let go first), whatever its name leads to by then.
    FileIdentity held, found;
    const bool known = IdentityOf(folder.Get(), &held);
    folder.Reset();
    const FileHandle emptied = OpenFolder(folderPath, DELETE | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (known && IdentityOf(emptied.Get(), &found) && found == held)
        (void)DeleteHeld(emptied, folderPath);
    return 0;
}
