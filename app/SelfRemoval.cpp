// Removing Setup.exe and its folder after the run: the installer starts a temporary copy of
// itself, which waits until the installer has ended, then deletes it and removes the setup
// folder. The copy's own file is deleted by the system when the copy ends, since it was opened
// with delete-on-close.
//
// The copy lives in the user's temporary folder, whose path the system's 8-bit code page may not
// spell (a user name in another script): the copy's own steps use the wide functions. The path
// of Setup.exe reaches the copy as an 8-bit argument, and is one the 8-bit functions take.
#include "app/SetupApp.h"

#include "app/CleanupCommandLine.h"
#include "app/ModulePath.h"
#include "framework/Handles.h"
#include "upgrade/FileOps.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
constexpr int kDeleteAttempts = 20;

// The handle value of argument 1: decimal digits with an optional sign, nothing else.
bool ParseHandleValue(const char* text, long* value) {
    if (!text || !*text)
        return false;
    const char* p = text;
    if (*p == '-')
        ++p;
    if (!*p)
        return false;
    for (const char* q = p; *q; ++q) {
        if (*q < '0' || *q > '9')
            return false;
    }
    char* end = nullptr;
    *value = std::strtol(text, &end, 10);
    return end && *end == '\0';
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
} // namespace

void CSetupApp::StartSelfRemoval() {
    CString modulePath = OwnModulePath();
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
        ::DeleteFileW(temporaryCopy);
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
        ::DeleteFileW(temporaryCopy);
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

void CSetupApp::RunCleanupMode() {
    if (__argc < 3)
        return;
    long value = 0;
    if (!ParseHandleValue(__argv[1], &value))
        return;
    HANDLE installer = reinterpret_cast<HANDLE>(static_cast<intptr_t>(value));
    if (!WaitOutProcess(installer))
        return;
    ::CloseHandle(installer);

    CString setupExe = __argv[2];
    CString folder = FolderOf(setupExe);
    // Nothing in the product's own folders is Setup's to delete.
    CString installBase = RegisteredInstallBase();
    if (folder.IsEmpty() || !FitsFileFunctions(setupExe) ||
        (!installBase.IsEmpty() && LiesWithin(folder, installBase)))
        return;
    // The executable may still be mapped for a moment after its process ended.
    RemoveFile(setupExe, nullptr, kDeleteAttempts);
    ::RemoveDirectoryA(folder);
}
