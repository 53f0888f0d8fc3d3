// How a run ends, and the one table that gives each ending its exit code (Windows Installer's,
// which every distribution system understands without configuration), the message a person sees,
// and the log's words.
#pragma once

#include <windows.h>

enum class [[nodiscard]] Outcome{
    Upgraded,        // the upgrade is complete (also one that an earlier run left complete)
    Declined,        // the licence was declined: nothing was changed
    NotThisProduct,  // another version, or the product is not installed where the registry says
    Failed,          // the upgrade could not be completed: nothing was changed
    NotRolledBack,   // the upgrade failed, and what it began could not be rolled back yet
    RecoveryFailed,  // an upgrade cut short earlier could not be rolled back or finished
    NoWindow,        // a window could not be made: nothing was changed
    AnotherSetup,    // another Setup is running: nothing was done
    NoLock,          // whether another Setup runs cannot be told (its lock cannot be made)
    NotUnderstood,   // the command line is not understood: nothing was done
    NoLog,           // the log the command line names cannot be made: nothing was done
    Cancelled,       // the person cancelled rather than close programs: nothing was changed
    UpgradedRestart, // the upgrade is complete; old files still in use go at the next restart
};

struct OutcomeRow {
    Outcome outcome;
    int exitCode;
    UINT message;        // the string a person is shown; 0: none
    const char* logText; // how the log's last line names the outcome
    bool endsSetup;      // after a person's run, Setup removes its payload, itself and its folder
};

const OutcomeRow& RowOf(Outcome outcome);
