#include "run/Outcome.h"

#include "framework/AfxApp.h"
#include "res/resource.h"

namespace {
// After a failure everything stays, so that the run can be repeated.
constexpr OutcomeRow kRows[] = {
    {Outcome::Upgraded, 0, IDS_UPGRADE_DONE, "upgraded", true},
    {Outcome::Declined, 1602, 0, "the licence was declined; nothing was changed", true},
    {Outcome::NotThisProduct, 1642, IDS_WRONG_VERSION,
     "the product is not installed, or is another version", true},
    {Outcome::Failed, 1603, IDS_UPGRADE_INCOMPLETE,
     "the upgrade could not be completed; nothing was changed", false},
    {Outcome::NotRolledBack, 1603, IDS_UPGRADE_INCOMPLETE,
     "the upgrade could not be completed, and what it began is not rolled back yet: the next "
     "start of Setup rolls it back",
     false},
    {Outcome::RecoveryFailed, 1603, IDS_UPGRADE_INCOMPLETE,
     "an upgrade cut short earlier could not be rolled back or finished yet", false},
    {Outcome::NoWindow, 1603, 0, "a window could not be shown; nothing was changed", false},
    {Outcome::AnotherSetup, 1618, IDS_SETUP_RUNNING, "another Setup is running", false},
    {Outcome::NoLock, 1618, IDS_SETUP_RUNNING,
     "Setup cannot tell whether another Setup is running: its lock cannot be made; nothing was "
     "done",
     false},
    {Outcome::NotUnderstood, 1639, 0, "the command line is not understood; nothing was done",
     false},
    {Outcome::NoLog, 1622, 0, "the log the command line names cannot be made; nothing was done",
     false},
    {Outcome::Cancelled, 1602, 0,
     "cancelled rather than close the programs that hold the product's files; nothing was "
     "changed",
     false},
    {Outcome::UpgradedRestart, 3010, IDS_UPGRADE_RESTART,
     "upgraded; Windows must be restarted to finish", true},
};

// Whether every outcome has its row, at the outcome's own place.
constexpr bool EveryRowInPlace() {
    for (size_t i = 0; i < sizeof kRows / sizeof *kRows; ++i)
        if (static_cast<size_t>(kRows[i].outcome) != i)
            return false;
    return sizeof kRows / sizeof *kRows == static_cast<size_t>(Outcome::UpgradedRestart) + 1;
}
static_assert(EveryRowInPlace(), "one row for each outcome, in the order of Outcome");
static_assert(kRows[static_cast<int>(Outcome::Failed)].exitCode ==
              static_cast<int>(kAfxFatalExitCode));
} // namespace

const OutcomeRow& RowOf(Outcome outcome) {
    return kRows[static_cast<int>(outcome)];
}
