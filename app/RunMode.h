// How Setup was started.
#pragma once

// What Setup does, by its command line (as the run-time library splits it, the program name as
// argument 0).
enum class [[nodiscard]] RunMode{
    Installer,  // exactly one argument, of any other value: the licence dialog and the upgrade
    Unattended, // exactly one argument, "/quiet" in any letter case: the upgrade, no window
    Cleanup,    // any other count: the temporary copy that removes Setup.exe
};
RunMode RunModeOf(int argc, const char* const* argv);
