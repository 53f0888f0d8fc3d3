// The stand-in Restart Manager, installed in the prefix and loaded from the system folder by full
// path, driven through its functions: a window program holding a file (HoldFile.exe) is listed
// under its name and closed, refuses, is left alone or kept out, and is started again or not.
#include "helper_programs.h"
#include "restart_manager.h"
#include "test_files.h"

#include "ProcessHelpers.h"
#include "Staging.h"

#include <restartmanager.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr char kName[] = "Quillo 辭典檢視器";

struct Row {
    const char* name;
    const char* caller;   // "user" in the program's session 1, or "system" in session 0
    bool refuses;         // the window answers FALSE to WM_QUERYENDSESSION, ignores WM_CLOSE
    bool restartable;     // registered for restart
    bool filtered;        // kept out of the shutdown (RmNoShutdown for its process)
    DWORD rebootReasons;  // listed before the shutdown
    DWORD shutdownResult; // RmShutdown without force
    ULONG status;         // AppStatus after the shutdown
    DWORD restartResult;  // RmRestart
};

const Row kRows[] = {
    {"Closed", "user", false, true, false, 0, ERROR_SUCCESS, RmStatusStopped, ERROR_SUCCESS},
    {"Refuses", "user", true, true, false, 0, ERROR_FAIL_SHUTDOWN,
     RmStatusRunning | RmStatusErrorOnStop, ERROR_SUCCESS},
    {"OtherSessionUnderLocalSystem", "system", false, true, false, RmRebootReasonSessionMismatch,
     ERROR_FAIL_SHUTDOWN, RmStatusRunning | RmStatusErrorOnStop, ERROR_SUCCESS},
    {"NotRegisteredForRestart", "user", false, false, false, 0, ERROR_SUCCESS, RmStatusStopped,
     ERROR_FAIL_RESTART},
    {"FilteredOut", "user", false, true, true, 0, ERROR_SUCCESS,
     RmStatusRunning | RmStatusShutdownMasked, ERROR_SUCCESS},
};

std::vector<UINT> progress;
void RecordProgress(UINT percent) {
    progress.push_back(percent);
}

template <typename Function> Function Load(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

class RestartManagerStandInTest : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::InstallRestartManagerStandIn());
        char system[MAX_PATH] = {};
        ::GetSystemDirectoryA(system, MAX_PATH);
        HMODULE rm = ::LoadLibraryA((std::string(system) + "\\rstrtmgr.dll").c_str());
        ASSERT_TRUE(rm);
        // Setup's way too: by name, from the system folder alone.
        EXPECT_EQ(rm, ::LoadLibraryExA("rstrtmgr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        start = Load<decltype(&::RmStartSession)>(rm, "RmStartSession");
        registerResources = Load<decltype(&::RmRegisterResources)>(rm, "RmRegisterResources");
        getList = Load<decltype(&::RmGetList)>(rm, "RmGetList");
        addFilter = Load<decltype(&::RmAddFilter)>(rm, "RmAddFilter");
        shutdown = Load<decltype(&::RmShutdown)>(rm, "RmShutdown");
        restart = Load<decltype(&::RmRestart)>(rm, "RmRestart");
        end = Load<decltype(&::RmEndSession)>(rm, "RmEndSession");
        ASSERT_TRUE(start && registerResources && getList && addFilter && shutdown && restart &&
                    end);
    }
    void TearDown() override {
        testsupport::RemoveRestartManagerDescription();
        // The program started again, ended by its process id.
        DWORD id = std::strtoul(product::ReadFileBytes(restartedReady).c_str(), nullptr, 10);
        HANDLE restarted = id ? ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id) : nullptr;
        if (restarted && ::TerminateProcess(restarted, 1))
            ::WaitForSingleObject(restarted, uidriver::kDefaultTimeoutMs);
        if (restarted)
            ::CloseHandle(restarted);
    }
    // The session's list, which holds the one process here.
    RM_PROCESS_INFO ListedOnce(DWORD session, DWORD* reasons) {
        RM_PROCESS_INFO info[2] = {};
        UINT needed = 0, count = 2;
        EXPECT_EQ(ERROR_SUCCESS, getList(session, &needed, &count, info, reasons));
        EXPECT_EQ(1u, count);
        return info[0];
    }

    decltype(&::RmStartSession) start = nullptr;
    decltype(&::RmRegisterResources) registerResources = nullptr;
    decltype(&::RmGetList) getList = nullptr;
    decltype(&::RmAddFilter) addFilter = nullptr;
    decltype(&::RmShutdown) shutdown = nullptr;
    decltype(&::RmRestart) restart = nullptr;
    decltype(&::RmEndSession) end = nullptr;
    std::string restartedReady;
};

TEST_P(RestartManagerStandInTest, ListsClosesAndRestartsAsDescribed) {
    const Row& row = GetParam();
    const std::string folder = testsupport::CurrentTestFolder("restart_manager");
    const std::string held = folder + "\\Dictionary.dat";
    restartedReady = folder + "\\restarted.txt";
    product::DeleteTree(folder);
    ASSERT_TRUE(product::MakeFolders(folder) && product::WriteFileBytes(held, "words"));
    uidriver::Process holder;
    std::vector<std::string> arguments = {held, "-1", "--window", kName};
    if (row.refuses)
        arguments.push_back("--refuse");
    ASSERT_TRUE(
        testsupport::StartHelperProgram(holder, "HoldFile.exe", arguments, folder + "\\ready.txt"));
    testsupport::RmStandInProcess process;
    process.processId = holder.Id();
    process.name = kName;
    process.session = 1;
    process.restartable = row.restartable;
    process.command = product::QuoteArgument(product::SiblingProgram("HoldFile.exe")) + " " +
                      product::QuoteArgument(held) + " -1 --ready-file " +
                      product::QuoteArgument(restartedReady);
    process.files = {held};
    const bool system = std::string(row.caller) == "system";

    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    ASSERT_EQ(ERROR_SUCCESS, start(&session, 0, key));
    std::wstring registered = uidriver::Widen(held);
    ::CharUpperW(registered.data()); // names are compared without case
    LPCWSTR files[] = {registered.c_str()};
    ASSERT_EQ(ERROR_SUCCESS, registerResources(session, 1, files, 0, nullptr, 0, nullptr));
    UINT needed = 1, count = 0;
    DWORD reasons = 1;
    // Without a description nobody holds anything.
    EXPECT_EQ(ERROR_SUCCESS, getList(session, &needed, &count, nullptr, &reasons));
    EXPECT_EQ(0u, needed + count + reasons);
    ASSERT_TRUE(
        testsupport::WriteRestartManagerDescription({row.caller, system ? 0u : 1u, {process}}));
    EXPECT_EQ(ERROR_MORE_DATA, getList(session, &needed, &count, nullptr, &reasons));
    EXPECT_EQ(1u, needed);
    RM_PROCESS_INFO listed = ListedOnce(session, &reasons);
    FILETIME created = {}, exited, kernel, user;
    ::GetProcessTimes(holder.Handle(), &created, &exited, &kernel, &user);
    EXPECT_EQ(holder.Id(), listed.Process.dwProcessId);
    EXPECT_EQ(0, ::CompareFileTime(&created, &listed.Process.ProcessStartTime));
    EXPECT_EQ(uidriver::Widen(kName), listed.strAppName);
    EXPECT_EQ(RmMainWindow, listed.ApplicationType);
    EXPECT_EQ(RmStatusRunning, listed.AppStatus);
    EXPECT_EQ(1u, listed.TSSessionId);
    EXPECT_EQ(row.restartable, !!listed.bRestartable);
    EXPECT_EQ(row.rebootReasons, reasons);

    EXPECT_EQ(ERROR_REQUEST_OUT_OF_SEQUENCE, restart(session, 0, nullptr));
    if (row.filtered) {
        ASSERT_EQ(ERROR_SUCCESS,
                  addFilter(session, nullptr, &listed.Process, nullptr, RmNoShutdown));
    }
    progress.clear();
    EXPECT_EQ(row.shutdownResult, shutdown(session, 0, RecordProgress));
    const bool closed = row.status == RmStatusStopped;
    EXPECT_EQ(closed, holder.WaitForExit(closed ? uidriver::kDefaultTimeoutMs : 0));
    EXPECT_EQ(closed, !progress.empty() && progress.back() == 100);
    EXPECT_EQ(row.status, ListedOnce(session, &reasons).AppStatus);

    EXPECT_EQ(row.restartResult, restart(session, 0, nullptr));
    const bool restarted = closed && row.restartable;
    EXPECT_EQ(restarted,
              product::WaitForFile(restartedReady, restarted ? uidriver::kDefaultTimeoutMs : 0));
    ULONG restartedStatus = !closed ? 0 : restarted ? RmStatusRestarted : RmStatusErrorOnRestart;
    EXPECT_EQ(row.status | restartedStatus, ListedOnce(session, &reasons).AppStatus);
    EXPECT_EQ(ERROR_SUCCESS, end(session));
    EXPECT_EQ(ERROR_INVALID_HANDLE, end(session));
}

INSTANTIATE_TEST_SUITE_P(Rows, RestartManagerStandInTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

} // namespace
