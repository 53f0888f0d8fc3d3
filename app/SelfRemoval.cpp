// The copy lives in the user's temporary folder, whose path the system's 8-bit code page may not
// spell (a user name in another script): the copy's own steps use the wide functions. The path
// of Setup.exe reaches the copy as an 8-bit argument, and is one the 8-bit functions take.
#include "app/SelfRemoval.h"

#include "app/CleanupCommandLine.h"
#include "framework/AfxFile.h"
#include "framework/Handles.h"
#include "upgrade/FileOps.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/RegReader.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
constexpr int kDeleteAttempts = 20;

// The handle value of argument 1: decimal digits with an optional minus sign, nothing else.
bool ParseHandleValue(const char* text, long* value) {
    char* end = nullptr;
    *value = std::strtol(text, &end, 10);
    return (text[0] == '-' || (text[0] >= '0' && text[0] <= '9')) && end != text && *end == '\0';
}

// Waits until the process behind `handle` has ended. False when `handle` is not a handle to
// another process, or the wait fails.
bool WaitOutProcess(HANDLE handle) {
    DWORD processId = ::GetProcessId(handle);
    if (processId == 0 || processId == ::GetCurrentProcessId())
        return false;
    if (::WaitForSingleObject(handle, INFINITE) != WAIT_OBJECT_0)
        return false;
    DWORD exitCode = 0;
    return ::GetExitCodeProcess(handle, &exitCode) && exitCode != STILL_ACTIVE;
}

// `folder` (with its trailing separator), or its short form when it is longer than `longest`.
// Empty when neither fits.
std::wstring FolderWithin(const std::wstring& folder, size_t longest) {
    std::wstring within = folder.size() <= longest ? folder : AfxShortPathOf(folder);
    return within.size() <= longest ? within : std::wstring();
}

// Whether `folder` is the install base or lies below it: Setup was unpacked into the product's
// own folders, and what lies there is the product's.
bool InInstallTree(const CString& folder, const CString& installBase) {
    return !installBase.IsEmpty() && LiesWithin(folder, installBase);
}

// Starts the temporary copy that removes `modulePath` and its folder once this process has ended.
void StartSelfRemoval(const CString& modulePath) {
    std::wstring temporaryFolder = AfxTemporaryFolder();
    // GetTempFileName takes a folder of at most kLongestTemporaryFolder characters, and a
    // current folder may have at most kLongestPath.
    std::wstring namingFolder = FolderWithin(temporaryFolder, kLongestTemporaryFolder);
    std::wstring currentFolder = FolderWithin(temporaryFolder, kLongestPath);
    wchar_t temporaryCopy[MAX_PATH] = {};
    if (modulePath.IsEmpty() || namingFolder.empty() || currentFolder.empty() ||
        !::GetTempFileNameW(namingFolder.c_str(), L"Del", 0, temporaryCopy))
        return;
    if (!::CopyFileW(WideText(modulePath.Str()).c_str(), temporaryCopy, FALSE)) {
        (void)::DeleteFileW(temporaryCopy);
        return;
    }
    // From here on, closing this handle deletes the copy unless the copy runs from it.
    FileHandle copyFile(::CreateFileW(temporaryCopy, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    // Besides waiting on it, the copy asks the handle which process it names, so that it acts
    // only on a real installer process.
    KernelHandle self(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE,
                                    ::GetCurrentProcessId()));
    if (!copyFile || !self) {
        (void)::DeleteFileW(temporaryCopy);
        return;
    }

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
        return;

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    // The copy runs in the temporary folder: a process whose current folder is the setup folder
    // would keep that folder from being removed.
    if (::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                         currentFolder.c_str(), &startup, &info)) {
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
}

} // namespace

void RemoveSetup(const CString& setupExe, const CString& installBase) {
    // Without a trustworthy path of its own there is no folder Setup may clean, and in the
    // product's own folders there is nothing Setup may delete.
    const CString setupFolder = FolderOf(setupExe);
    if (setupFolder.IsEmpty() || InInstallTree(setupFolder, installBase))
        return;
    // A payload file that cannot be deleted keeps the folder in place, Setup.exe is still removed.
    for (const PayloadRow& row : kPayloadRows) {
        CString payload = setupFolder + row.source;
        if (FitsFileFunctions(payload))
            (void)::DeleteFileA(payload);
    }
    StartSelfRemoval(setupExe);
}

int RunCleanupCopy(int argc, char** argv) {
    long value = 0;
    if (argc < 3 || !ParseHandleValue(argv[1], &value))
        return 0;
    HANDLE installer = reinterpret_cast<HANDLE>(static_cast<intptr_t>(value));
    if (!WaitOutProcess(installer))
        return 0;
    ::CloseHandle(installer);

    CString setupExe = argv[2];
    CString folder = FolderOf(setupExe);
    // Nothing in the product's own folders is Setup's to delete. The copy is a process of its own:
    // it reads the install base from the registry itself.
    CString installBase;
    (void)CRegReader().ReadString(kVersionKey, kBasePathValue, &installBase, HKEY_LOCAL_MACHINE);
    if (folder.IsEmpty() || !FitsFileFunctions(setupExe) || InInstallTree(folder, installBase))
        return 0;
    // The executable may still be mapped for a moment after its process ended; what cannot be
    // deleted stays, with nobody to tell.
    (void)RemoveFile(setupExe, kDeleteAttempts);
    (void)::RemoveDirectoryA(folder);
    return 0;
}
