#include "restart_manager.h"

#include "ProcessHelpers.h"
#include "Staging.h"

namespace testsupport {

namespace {

std::string SystemFolderFile(UINT(WINAPI* folder)(LPSTR, UINT), const char* name) {
    char path[MAX_PATH] = {};
    UINT length = folder(path, MAX_PATH);
    return std::string(path, length < MAX_PATH ? length : 0) + "\\" + name;
}

} // namespace

DWORD CurrentSessionId() {
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    return session;
}

::testing::AssertionResult InstallRestartManagerStandIn() {
    static bool installed = false;
    if (installed)
        return ::testing::AssertionSuccess();
    const std::string standIn = product::SiblingProgram("rstrtmgr-standin.dll");
    const std::string system = SystemFolderFile(::GetSystemDirectoryA, "rstrtmgr.dll");
    const std::string bytes = product::ReadFileBytes(standIn);
    if (bytes.empty())
        return ::testing::AssertionFailure() << "no stand-in at " << standIn;
    if (product::ReadFileBytes(system) != bytes &&
        !::CopyFileA(standIn.c_str(), system.c_str(), FALSE))
        return ::testing::AssertionFailure()
               << "cannot copy the stand-in to " << system << ": error " << ::GetLastError();
    HKEY key = nullptr;
    static const char kNative[] = "native,builtin";
    LONG error = ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0,
                                   KEY_SET_VALUE, nullptr, &key, nullptr);
    if (error == ERROR_SUCCESS) {
        error = ::RegSetValueExA(key, "rstrtmgr", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNative),
                                 sizeof kNative);
        ::RegCloseKey(key);
    }
    if (error != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "cannot set the DLL override: error " << error;
    installed = true;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult WriteRestartManagerDescription(const RmStandInDescription& description) {
    std::string text =
        "caller " + description.caller + " " + std::to_string(description.session) + "\n";
    for (const RmStandInProcess& p : description.processes) {
        text += "process " + std::to_string(p.processId) + " " + std::to_string(p.session) + " " +
                p.kind + (p.restartable ? " restart" : " norestart") +
                (p.elevated ? " elevated\n" : " normal\n");
        text += "name " + p.name + "\n";
        text += p.service.empty() ? "" : "service " + p.service + "\n";
        text += p.command.empty() ? "" : "command " + p.command + "\n";
        for (const std::string& file : p.files)
            text += "file " + file + "\n";
    }
    const std::string path = SystemFolderFile(::GetWindowsDirectoryA, "rstrtmgr-standin.txt");
    if (!product::WriteReadyFile(path, text))
        return ::testing::AssertionFailure() << "cannot write " << path;
    return ::testing::AssertionSuccess();
}

void RemoveRestartManagerDescription() {
    ::DeleteFileA(SystemFolderFile(::GetWindowsDirectoryA, "rstrtmgr-standin.txt").c_str());
}

} // namespace testsupport
