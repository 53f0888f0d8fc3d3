#include "upgrade/SetupRun.h"

#include "upgrade/RestartManager.h"
#include "upgrade/RunningPrograms.h"

namespace {
using Recovery = UpgradeTransaction::Recovery;

// Ends the run with `outcome`, and the failure that led to it, named to the log and the person.
void EndWith(RunResult& run, Outcome outcome, Result failure, RunPresenter& presenter,
             SetupLog& log) {
    // A file in use is named with the programs that hold it.
    if (failure.code == ERROR_SHARING_VIOLATION || failure.code == ERROR_LOCK_VIOLATION)
        if (const std::wstring holders = HoldersOf(failure.path); !holders.empty())
            failure.path += " (" + CString(CodePageText(holders, CP_ACP)) + ")";
    run.outcome = outcome;
    run.failure = failure;
    if (!failure) {
        log.Line("Failed: " + failure.path + ": " + SystemErrorText(failure.code));
        presenter.StepFailed(failure);
    }
}

// Asks whoever else holds the product's files, in any session, to close (a person decides
// first): what the quit requests did not reach. Whether the run goes on.
RunPresenter::Answer CloseHolders(const CString& installBase, RestartManager& rm,
                                  RunPresenter& presenter, SetupLog& log) {
    std::vector<CString> files;
    for (int item = 0; item < kItemCount; ++item)
        files.push_back(ItemPath(installBase.Str(), item).c_str());
    std::vector<Holder> holders;
    if (Result listed = rm.ListHolders(files, &holders); !listed) {
        log.Line("Who holds the product's files cannot be told: " + SystemErrorText(listed.code));
        return RunPresenter::Answer::Yes;
    }
    const std::vector<Holder> toClose = HoldersToClose(holders, ::GetCurrentProcessId());
    if (toClose.empty())
        return RunPresenter::Answer::Yes;
    log.Line(L"Holding the product's files: " + HolderNames(toClose, L", "));
    const std::wstring names = HolderNames(toClose, L"\r\n");
    const RunPresenter::Answer answer = presenter.CloseHolders(names.c_str());
    if (answer == RunPresenter::Answer::Yes) {
        const Result closed = rm.CloseHolders();
        log.Line(closed ? CString("Asked them to close.")
                        : "They could not all be closed: " + SystemErrorText(closed.code));
    }
    return answer;
}

// The upgrade once the licence is accepted.
void Upgrade(const RunInput& input, RunPresenter& presenter, SetupLog& log, RunResult& run) {
    log.Line("Installed version: \"" + input.product.version + "\"; install base: \"" +
             run.installBase + "\"");
    Result unusable;
    switch (CheckInstalledProduct(input.product, unusable)) {
    case ProductCheck::WrongProduct:
        log.Line("Not the product this upgrade is for, or not installed there: nothing was done.");
        return EndWith(run, Outcome::NotThisProduct, {}, presenter, log);
    case ProductCheck::Unusable:
        return EndWith(run, Outcome::Failed, unusable, presenter, log);
    default:
        break;
    }
    if (input.setupFolder.IsEmpty())
        return EndWith(run, Outcome::Failed, Failed("Setup.exe", ERROR_BAD_PATHNAME), presenter,
                       log);

    // The copy window comes first: the person sees Setup at work while the programs are asked to
    // quit, and a window that cannot be made stops the run before any program is asked.
    if (Result shown = presenter.WorkBegins(); !shown)
        return EndWith(run, Outcome::NoWindow, shown, presenter, log);
    RunningPrograms programs;
    char counts[128];
    wsprintfA(counts, "Asked %u of the product's programs to quit.", programs.AskToQuit());
    log.Line(counts);
    wsprintfA(counts, "%u of them still running after the wait.",
              programs.WaitForThemToEnd(presenter));
    log.Line(counts);
    RestartManager holders;
    if (const RunPresenter::Answer answer = CloseHolders(run.installBase, holders, presenter, log);
        answer != RunPresenter::Answer::Yes) {
        log.Line("The upgrade was cancelled: nothing was changed.");
        EndWith(run, answer == RunPresenter::Answer::No ? Outcome::Cancelled : Outcome::NoWindow,
                {}, presenter, log);
        return presenter.WorkEnds();
    }
    Result upgraded = UpgradeProduct(input.setupFolder, run.installBase, kUpgradeEntryText,
                                     &run.report, &presenter, &log);
    const Result& rollBack = run.report.rollBack;
    EndWith(run,
            upgraded   ? Outcome::Upgraded
            : rollBack ? Outcome::Failed
                       : Outcome::NotRolledBack,
            upgraded, presenter, log);
    if (upgraded)
        log.Line(run.report.listFound ? "Every change is in place, and the upgrade is registered."
                                      : "Every change is in place.");
    else if (rollBack)
        log.Line("Nothing was changed.");
    else
        log.Line("What the upgrade began could not be rolled back yet: " + rollBack.path + ": " +
                 SystemErrorText(rollBack.code));
    // Old files still in use (running programs') go at the next restart.
    std::vector<CString> waiting;
    if (upgraded)
        UpgradeTransaction::Finish(run.installBase, false, &waiting);
    for (const CString& file : waiting)
        log.Line("Deleted at the next restart of Windows, still in use: " + file);
    if (!waiting.empty())
        run.outcome = Outcome::UpgradedRestart;
    // The programs that were closed start again.
    if (Result restarted = holders.RestartClosed(); !restarted)
        log.Line("The programs closed could not all be started again: " +
                 SystemErrorText(restarted.code));
    presenter.WorkEnds();
}
} // namespace

RunResult RunSetup(const RunInput& input, RunPresenter& presenter, SetupLog& log) {
    RunResult run;
    run.installBase = input.product.installBase;
    // An upgrade cut short earlier is finished or rolled back before anything else.
    Recovery found = Recovery::None;
    if (Result recovered = UpgradeTransaction::Recover(run.installBase, &found); !recovered) {
        log.Line("An upgrade cut short earlier could not be rolled back or finished.");
        EndWith(run, Outcome::RecoveryFailed, recovered, presenter, log);
    } else if (found == Recovery::Completed) {
        log.Line("An upgrade cut short earlier was complete: it is finished now.");
        run.outcome = Outcome::Upgraded;
    } else {
        if (found == Recovery::RolledBack)
            log.Line("An upgrade cut short earlier was rolled back: every installed file is as "
                     "it was before it.");
        const RunPresenter::Answer answer = presenter.AcceptLicence();
        log.Line(answer == RunPresenter::Answer::Yes  ? "The licence was accepted."
                 : answer == RunPresenter::Answer::No ? "The licence was declined."
                                                      : "The licence could not be shown.");
        if (answer == RunPresenter::Answer::Yes)
            Upgrade(input, presenter, log, run);
        else
            run.outcome =
                answer == RunPresenter::Answer::No ? Outcome::Declined : Outcome::NoWindow;
    }
    run.told = presenter.Tell(run.outcome);
    if (!run.told)
        log.Line("The message that tells the outcome could not be shown.");
    // Only once the person has been told is the journal of a complete upgrade forgotten: should
    // Setup end before, the next start finds the upgrade complete and says so.
    if (run.outcome == Outcome::Upgraded || run.outcome == Outcome::UpgradedRestart)
        UpgradeTransaction::Finish(run.installBase);
    return run;
}

RunPresenter::Answer RunPresenter::CloseHolders(const wchar_t*) {
    return Answer::Yes;
}
