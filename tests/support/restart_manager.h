// The stand-in Restart Manager (tests/restart_manager/rstrtmgr_standin.cpp) in the test prefix,
// and the description of who holds which files that it answers from.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../restart_manager/rm_error_codes.h"

namespace testsupport {

// The session the test program runs in: the sessions of a description unless it gives others.
DWORD CurrentSessionId();

// One process that the stand-in lists while it runs.
struct RmStandInProcess {
    DWORD processId = 0;
    std::string name; // the application name it reports (UTF-8)
    DWORD session = CurrentSessionId();
    std::string kind = "main"; // main, other, console, service or critical
    bool restartable = true;   // registered for restart
    bool elevated = false;
    std::string command;            // the command line that starts it again
    std::vector<std::string> files; // full paths of the files it holds
    std::string service;            // kind "service": the service's short name
};

// Who calls Restart Manager, and who holds what.
struct RmStandInDescription {
    std::string caller = "user";        // "system" (LocalSystem), "admin" (elevated) or "user"
    DWORD session = CurrentSessionId(); // the caller's
    std::vector<RmStandInProcess> processes;
};

// Makes the stand-in (rstrtmgr-standin.dll beside the test program) the prefix's rstrtmgr.dll:
// copied over the 32-bit system folder's (system32 as this 32-bit process sees it: syswow64 in a
// 64-bit prefix) and loaded as native (HKCU\Software\Wine\DllOverrides rstrtmgr=native,builtin),
// so that a load by full path from the system folder finds it. Once per test program; a copy that
// is already there is left as it is. Without a description the stand-in lists nobody.
::testing::AssertionResult InstallRestartManagerStandIn();

// Writes the description the stand-in reads (C:\windows\rstrtmgr-standin.txt) and removes it.
// A test that writes one removes it before it ends, so that the next one finds nobody listed.
::testing::AssertionResult WriteRestartManagerDescription(const RmStandInDescription& description);
void RemoveRestartManagerDescription();

} // namespace testsupport
