// Spawns one child process per product window and waits for them, so that each window's
// process ends on its own quit request, as the product's separate programs do.
#include "SeparateProcesses.h"

#include "ProcessHelpers.h"
#include "Staging.h"

#include <windows.h>

namespace product {

namespace {

constexpr DWORD kChildStartMilliseconds = 30000;

HANDLE CreateKillOnCloseJob() {
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return job;
}

std::string ChildReadyFile(size_t index) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + "QuilloProduct-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(index) + ".ready";
}

} // namespace

int RunProductProcesses(const std::string& logFile, const std::vector<std::string>& classes,
                        const std::string& hangClass, const std::string& readyFile) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    HANDLE job = CreateKillOnCloseJob();
    std::vector<HANDLE> children;
    bool allUp = true;
    for (size_t i = 0; i < classes.size() && i < MAXIMUM_WAIT_OBJECTS; ++i) {
        std::string childReady = ChildReadyFile(i);
        DeleteFileA(childReady.c_str());
        std::vector<std::string> arguments = {logFile, "--classes", classes[i], "--ready-file",
                                              childReady};
        if (classes[i] == hangClass) {
            arguments.push_back("--hang");
            arguments.push_back(hangClass);
        }
        HANDLE child = StartProgram(self, arguments);
        if (child == nullptr) {
            allUp = false;
            break;
        }
        if (job != nullptr) {
            AssignProcessToJobObject(job, child);
        }
        children.push_back(child);
        allUp = WaitForFile(childReady, kChildStartMilliseconds, child) && allUp;
        DeleteFileA(childReady.c_str());
    }
    if (!allUp) {
        for (HANDLE child : children) {
            TerminateProcess(child, 3);
        }
        return 3;
    }
    if (!readyFile.empty()) {
        WriteReadyFile(readyFile, std::to_string(GetCurrentProcessId()) + "\n");
    }
    if (!children.empty()) {
        WaitForMultipleObjects(static_cast<DWORD>(children.size()), children.data(), TRUE,
                               INFINITE);
    }
    for (HANDLE child : children) {
        CloseHandle(child);
    }
    if (job != nullptr) {
        CloseHandle(job);
    }
    return 0;
}

} // namespace product
