#include "ui/Outcomes.h"

#include "framework/AfxApp.h"
#include "res/resource.h"

namespace {
// In the order of Outcome. After a failure everything stays, so that the run can be repeated.
constexpr OutcomeRow kRows[] = {
    {0, IDS_UPGRADE_DONE, "upgraded", true},
    {1602, 0, "the licence was declined; nothing was changed", true},
    {1642, IDS_WRONG_VERSION, "the product is not installed, or is another version", true},
    {1603, IDS_UPGRADE_INCOMPLETE, "the upgrade could not be completed; nothing was changed",
     false},
    {1603, IDS_UPGRADE_INCOMPLETE,
     "the upgrade could not be completed, and what it began is not rolled back yet: the next "
     "start of Setup rolls it back",
     false},
    {1603, IDS_UPGRADE_INCOMPLETE,
     "an upgrade cut short earlier could not be rolled back or finished yet", false},
    {1603, 0, "a window could not be shown; nothing was changed", false},
    {1618, IDS_SETUP_RUNNING, "another Setup is running", false},
    {1639, 0, "the command line is not understood; nothing was done", false},
    {1602, 0,
     "cancelled rather than close the programs that hold the product's files; nothing was "
     "changed",
     false},
    {3010, IDS_UPGRADE_RESTART, "upgraded; Windows must be restarted to finish", true},
};
static_assert(sizeof kRows / sizeof kRows[0] == static_cast<int>(Outcome::UpgradedRestart) + 1);
static_assert(kRows[static_cast<int>(Outcome::Failed)].exitCode ==
              static_cast<int>(kAfxFatalExitCode));
} // namespace

const OutcomeRow& RowOf(Outcome outcome) {
    return kRows[static_cast<int>(outcome)];
}
