// Removing Setup.exe and its folder after the run: the installer starts a
// temporary copy of itself, which waits until the installer has ended, then
// deletes it and removes the setup folder. The copy's own file is deleted by
// the system when the copy ends, since it was opened with delete-on-close.
#include "app/SetupApp.h"

#include "app/CleanupCommandLine.h"
#include "app/SetupFolder.h"
#include "framework/Handles.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {
constexpr int kDeleteAttempts = 20;
constexpr DWORD kDeleteRetryMs = 250;

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

// Waits until the process behind `handle` has ended. False when `handle` is
// not a handle to another process, or the wait fails.
bool WaitOutProcess(HANDLE handle) {
    DWORD processId = ::GetProcessId(handle);
    if (processId == 0 || processId == ::GetCurrentProcessId())
        return false;
    if (::WaitForSingleObject(handle, INFINITE) != WAIT_OBJECT_0)
        return false;
    DWORD exitCode = 0;
    return ::GetExitCodeProcess(handle, &exitCode) && exitCode != STILL_ACTIVE;
}

// The executable may still be mapped for a moment after its process ended.
void DeleteWithRetries(const char* path) {
    for (int attempt = 1; attempt <= kDeleteAttempts; ++attempt) {
        if (::DeleteFileA(path))
            return;
        DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return;
        ::Sleep(kDeleteRetryMs);
    }
}
} // namespace

void CSetupApp::StartSelfRemoval() {
    CString modulePath = OwnModulePath();
    if (modulePath.IsEmpty())
        return;
    char temporaryFolder[MAX_PATH] = {};
    DWORD length = ::GetTempPathA(MAX_PATH, temporaryFolder);
    if (length == 0 || length >= MAX_PATH)
        return;
    char temporaryCopy[MAX_PATH] = {};
    if (!::GetTempFileNameA(temporaryFolder, "Del", 0, temporaryCopy))
        return;
    ::CopyFileA(modulePath, temporaryCopy, FALSE);

    FileHandle copyFile(::CreateFileA(temporaryCopy, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    // Besides waiting on it, the copy asks the handle which process it names,
    // so that it acts only on a real installer process.
    ProcessHandle self(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE,
                                     ::GetCurrentProcessId()));
    if (!copyFile || !self) {
        ::DeleteFileA(temporaryCopy);
        return;
    }

    // Both paths are quoted, so blanks reach the copy whole; the line is as
    // long as it needs to be.
    std::string commandLine = BuildCleanupCommandLine(
        temporaryCopy, static_cast<long>(reinterpret_cast<intptr_t>(self.Get())), modulePath.Str());
    if (commandLine.empty())
        return;
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    // The copy runs in the temporary folder: a process whose current folder
    // is the setup folder would keep that folder from being removed.
    if (::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         temporaryFolder, &startup, &info)) {
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
    self.Reset();
    copyFile.Reset();
}

void CSetupApp::RunCleanupMode() {
    if (__argc < 3)
        return;
    long value = 0;
    if (!ParseHandleValue(__argv[1], &value))
        return;
    HANDLE installer = reinterpret_cast<HANDLE>(static_cast<intptr_t>(value));
    bool waitedOut = WaitOutProcess(installer);
    if (!waitedOut)
        return;
    ::CloseHandle(installer);

    const char* setupExe = __argv[2];
    CString folder = SetupFolderOf(setupExe);
    if (folder.IsEmpty())
        return;
    DeleteWithRetries(setupExe);
    ::RemoveDirectoryA(folder);
}
