// The one table of how a run can end: the exit code (Windows Installer's, which every distribution
// system understands without configuration), the message a person sees, and the log's words.
#pragma once

#include "upgrade/SetupRun.h"

struct OutcomeRow {
    int exitCode;
    UINT message;        // the string a person is shown; 0: none
    const char* logText; // how the log's last line names the outcome
    bool endsSetup;      // after a person's run, Setup removes its payload, itself and its folder
};

const OutcomeRow& RowOf(Outcome outcome);
