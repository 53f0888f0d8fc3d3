// How Setup was started, and the exit code of each way a run can end.
#pragma once

// What Setup does, by its command line (as the run-time library splits it, the program name as
// argument 0).
enum class RunMode {
    Installer,  // exactly one argument, of any other value: the licence dialog and the upgrade
    Unattended, // exactly one argument, "/quiet" in any letter case: the upgrade, no window
    Cleanup,    // any other count: the temporary copy that removes Setup.exe
};
RunMode RunModeOf(int argc, const char* const* argv);

// The exit codes Windows Installer gives the same outcomes, which every distribution system
// understands without configuration.
enum ExitCode : int {
    kExitSuccess = 0,           // upgraded (also when a start finished an interrupted run)
    kExitDeclined = 1602,       // the licence was declined
    kExitFailed = 1603,         // the upgrade failed and changed nothing
    kExitAnotherSetup = 1618,   // another Setup is running
    kExitNotThisProduct = 1642, // the product is not installed, or is another version
};
