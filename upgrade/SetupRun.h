// One run of Setup, whoever watches it: an upgrade cut short earlier finished or rolled back, the
// licence, the installed product checked, its programs asked to quit and waited for, the upgrade,
// the outcome. A person's run and an unattended one take the very same steps and log them alike;
// they differ only in the presenter, which shows the dialogs or shows nothing.
#pragma once

#include "upgrade/SetupLog.h"
#include "upgrade/Transaction.h"
#include "upgrade/Upgrade.h"

// How a run ends.
enum class [[nodiscard]] Outcome{
    Upgraded,        // the upgrade is complete (also one that an earlier run left complete)
    Declined,        // the licence was declined: nothing was changed
    NotThisProduct,  // another version, or the product is not installed where the registry says
    Failed,          // the upgrade could not be completed: nothing was changed
    NotRolledBack,   // the upgrade failed, and what it began could not be rolled back yet
    RecoveryFailed,  // an upgrade cut short earlier could not be rolled back or finished
    NoWindow,        // a window could not be made: nothing was changed
    AnotherSetup,    // another Setup is running: nothing was done
    NotUnderstood,   // the command line is not understood: nothing was done
    Cancelled,       // the person cancelled rather than close programs: nothing was changed
    UpgradedRestart, // the upgrade is complete; old files still in use go at the next restart
};

struct RunResult {
    Outcome outcome = Outcome::Failed;
    Result failure;       // what stood in the way, when something did
    UpgradeReport report; // what became of each part of the upgrade, as far as it got
    CString installBase;  // the install base the run worked on
    bool told = true;     // the person was told the outcome (or nobody watches)
};

// What a run starts from, read once at its start.
struct RunInput {
    CString setupFolder; // the payload's folder; "" when Setup's own path cannot be used
    InstalledProduct product;
};

// Who presents a run to a person: the licence, the copy window while the work goes on, what stood
// in the way, the outcome. The defaults are those of a run with nobody to ask or show anything:
// the licence is accepted (whoever deploys Setup accepts it for the organisation).
class RunPresenter {
public:
    virtual ~RunPresenter() = default;

    enum class [[nodiscard]] Answer{Yes, No, NoWindow};
    // Whether the licence is accepted; NoWindow when it cannot be shown.
    virtual Answer AcceptLicence() { return Answer::Yes; }
    // The work begins: from here the person sees the copy window. A failure (its window cannot be
    // made) ends the run before anything changes.
    virtual Result WorkBegins() { return {}; }
    // Whether to close the programs named (one a line), which hold the product's files, and go
    // on; NoWindow when the question cannot be shown.
    virtual Answer CloseHolders(const wchar_t* names);
    // Called again and again while Setup waits or works, so that windows keep painting.
    virtual void KeepResponsive() {}
    // A step failed: the failure names what stood in the way and why.
    virtual void StepFailed(const Result&) {}
    // The work is over.
    virtual void WorkEnds() {}
    // Tells how the run ended; false when that cannot be shown.
    [[nodiscard]] virtual bool Tell(Outcome) { return true; }
};

// Runs Setup from `input`, presented by `presenter`, every step recorded in `log` as it happens,
// and returns how it ended.
[[nodiscard]] RunResult RunSetup(const RunInput& input, RunPresenter& presenter, SetupLog& log);
