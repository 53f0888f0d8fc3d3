#include "run/SetupRun.h"

#include "run/SelfRemoval.h"
#include "run/SetupLog.h"
#include "res/resource.h"
#include "upgrade/FileOps.h"
#include "upgrade/RestartManager.h"
#include "upgrade/RunningPrograms.h"
#include "upgrade/Transaction.h"
#include "upgrade/Upgrade.h"

namespace {
using Answer = RunPresenter::Answer;

// Takes the lock that lets one Setup at a time upgrade the product, whichever folder it was
// started from: a file in the Windows folder, where only administrators may make one, held
// without sharing and deleted when Setup ends however it ends; every session and account sees
// it. A named object would be the first creator's, of whatever account: one made by another
// program would stop every Setup. ERROR_SHARING_VIOLATION: another Setup holds it.
Result TakeTheLock(FileHandle* lock) {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 20)
        return Failed("QuilloSetup.lock", ERROR_FILENAME_EXCED_RANGE);
    const std::wstring path = std::wstring(folder) + L"\\QuilloSetup.lock";
    // A link or a folder under its name (which only an administrator can put there) is never
    // opened: deleting the lock on closing it would delete what the link leads to. (Windows opens
    // a link itself here; Wine follows a link made on the Linux side.)
    if (Result plain = CheckPlainFile(AnsiPathOf(path)); !plain)
        return plain;
    lock->Reset(::CreateFileW(
        path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return *lock ? Result() : LastError(CodePageText(path, CP_ACP));
}

// The full path of the running executable in a form the 8-bit file functions take (see
// AnsiPathOf), or "" when there is none: a path cut short is never used.
CString OwnModulePath() {
    std::wstring path = AfxModuleFileName(nullptr);
    return path.empty() ? CString() : AnsiPathOf(path);
}

// What a run carries from step to step. It is the engine's watcher: the presenter is kept
// responsive and the log told each decision while the engine works.
struct Run : UpgradeWatcher {
    Run(const CommandLine& line, RunPresenter& presenter) : line(line), presenter(presenter) {}
    void KeepResponsive() override { presenter.KeepResponsive(); }
    void Note(const CString& text) override { log.Line(text); }

    // Ends a step that failed: the failure, named to the log and the person with the programs
    // that hold the file when it is in use, and how it ends.
    Outcome Fail(Outcome outcome, const Result& why) {
        log.Line("Failed: ", why);
        std::vector<Holder> heldBy;
        if (why.code == ERROR_SHARING_VIOLATION || why.code == ERROR_LOCK_VIOLATION)
            heldBy = HoldersOf(why.path);
        if (!heldBy.empty())
            log.Line(L"Held by: " + HolderNames(heldBy, L", "));
        presenter.StepFailed(why, heldBy);
        return outcome;
    }

    const CommandLine& line;
    RunPresenter& presenter;
    SetupLog log;
    FileHandle lock;
    CString setupExe;
    CString setupFolder;
    FileHandle program; // Setup.exe, held from the start for the clean-up copy
    InstalledProduct product;
    UpgradeReport report;         // whether the product has a list; how a roll-back went
    std::vector<CString> waiting; // old files left to the next restart of Windows
    RestartManager holders;       // who else holds the product's files
    std::vector<Holder> closing;  // those of them asked to close
};

// Asks whoever else holds the product's files in Setup's own session to close (a person decides
// first): what the quit requests did not reach. Those of other sessions are only named to the log:
// Windows closes nothing there for Setup (not for LocalSystem in session 0 either), and a file
// they hold stops the upgrade, which names them. Whether the run goes on.
Answer CloseHolders(Run& run) {
    std::vector<CString> files;
    for (int item = 0; item < kItemCount; ++item)
        files.push_back(run.product.tree.Path(item));
    std::vector<Holder> holders;
    if (Result listed = run.holders.ListHolders(files, &holders); !listed) {
        run.log.Line("Who holds the product's files cannot be told: " +
                     SystemErrorText(listed.code));
        return Answer::Yes;
    }
    if (holders.empty())
        return Answer::Yes;
    DWORD session = 0;
    (void)::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    run.closing = HoldersToClose(holders, ::GetCurrentProcessId(), session);
    run.log.Line(L"Holding the product's files: " + HolderNames(holders, L", "));
    if (run.closing.empty()) {
        run.log.Line("None of them is asked to close (another session's, the system's or Setup).");
        return Answer::Yes;
    }
    run.log.Line(L"To be asked to close: " + HolderNames(run.closing, L", "));
    const Answer answer = run.presenter.CloseHolders(run.closing);
    if (answer == Answer::Yes) {
        const Result closed = run.holders.CloseHolders(run.closing);
        run.log.Line(closed.Ok() ? CString("Asked them to close.")
                                 : "They could not all be closed: " + SystemErrorText(closed.code));
    }
    return answer;
}

// Deletes `what` a complete upgrade no longer needs. What can go neither now nor at the next
// restart is named in the log and left to the next start of Setup; the upgrade stays complete.
void FinishUpgrade(Run& run, Finishing what) {
    if (Result finished = UpgradeTransaction::Finish(run.product.tree, what, &run.waiting);
        !finished)
        run.log.Line("Not deleted yet, for the next start of Setup: ", finished);
}

// The upgrade itself, once the copy window is up: the product's programs asked to quit, the files
// replaced, the programs closed started again.
Outcome ReplaceFiles(Run& run) {
    RunningPrograms programs;
    run.log.Line("Asked " + DecimalText(programs.AskToQuit()) +
                 " of the product's programs to quit.");
    run.log.Line(DecimalText(programs.WaitForThemToEnd(run)) +
                 " of them still running after the wait.");
    if (const Answer answer = CloseHolders(run); answer != Answer::Yes)
        return answer == Answer::No ? Outcome::Cancelled : Outcome::NoWindow;
    const Result upgraded =
        UpgradeProduct(run.setupFolder, run.product.tree, kUpgradeEntryText, &run.report, &run);
    if (Result restarted = run.holders.RestartClosed(); !restarted)
        run.log.Line("The programs closed could not all be started again: " +
                     SystemErrorText(restarted.code));
    std::vector<Holder> after;
    if (!run.closing.empty() && run.holders.Listed(&after))
        for (const Holder& holder : run.closing)
            run.log.Line(HolderNames({holder}, L"") + L": " + WhatBecameOf(holder, after));
    if (!upgraded) {
        const Result& rollBack = run.report.rollBack;
        if (!rollBack)
            run.log.Line("What the upgrade began could not be rolled back yet: ", rollBack);
        return run.Fail(rollBack.Ok() ? Outcome::Failed : Outcome::NotRolledBack, upgraded);
    }
    if (run.report.listFound)
        run.log.Line("Every change is in place, and the upgrade is registered.");
    // Old files still in use (running programs') go at the next restart.
    FinishUpgrade(run, Finishing::Backups);
    return Outcome::Upgraded;
}

// Every step of a run until its ending: the one place that decides it.
Outcome Decide(Run& run) {
    if (run.line.mode == CommandLine::Mode::Invalid) {
        run.log.Line("The command line is not understood: " + CString(run.line.problem));
        return Outcome::NotUnderstood;
    }
    // Another Setup holds the lock; anything else is the system's reason, which the log names.
    if (Result locked = TakeTheLock(&run.lock); !locked) {
        if (locked.code == ERROR_SHARING_VIOLATION)
            return Outcome::AnotherSetup;
        run.log.Line("The lock cannot be made: ", locked);
        return Outcome::NoLock;
    }
    run.setupExe = OwnModulePath();
    run.setupFolder = FolderOf(run.setupExe);
    run.program = HoldOwnProgram(run.setupExe);
    run.log.Line("Setup folder: " + run.setupFolder);
    run.log.Line("Installed version: \"" + run.product.version + "\"; install base: \"" +
                 run.product.installBase + "\"");

    // An upgrade cut short earlier is finished or rolled back before anything else.
    RecoveryPlan::Outcome found;
    if (Result recovered = UpgradeTransaction::Recover(run.product.tree, &found, &run.waiting);
        !recovered) {
        run.log.Line("An upgrade cut short earlier could not be rolled back or finished.");
        return run.Fail(Outcome::RecoveryFailed, recovered);
    }
    if (found == RecoveryPlan::Outcome::Completed) {
        run.log.Line("An upgrade cut short earlier was complete: it is finished now.");
        return Outcome::Upgraded;
    }
    if (found == RecoveryPlan::Outcome::RolledBack)
        run.log.Line("An upgrade cut short earlier was rolled back: every old file it had kept "
                     "aside is back in place, unless another program has put a file of its own "
                     "there since.");

    const Answer licence = run.presenter.AcceptLicence();
    run.log.Line(licence == Answer::Yes  ? "The licence was accepted."
                 : licence == Answer::No ? "The licence was declined."
                                         : "The licence could not be shown.");
    if (licence != Answer::Yes)
        return licence == Answer::No ? Outcome::Declined : Outcome::NoWindow;

    Result unusable;
    switch (CheckInstalledProduct(run.product, unusable)) {
    case ProductCheck::WrongProduct:
        return Outcome::NotThisProduct;
    case ProductCheck::Unusable:
        return run.Fail(Outcome::Failed, unusable);
    case ProductCheck::Matches:
        break;
    }
    if (run.setupExe.IsEmpty())
        return run.Fail(Outcome::Failed, Failed("Setup.exe", ERROR_BAD_PATHNAME));
    // The copy window comes first: the person sees Setup at work while the programs are asked to
    // quit, and a window that cannot be made stops the run before any program is asked.
    if (Result shown = run.presenter.WorkBegins(); !shown)
        return run.Fail(Outcome::NoWindow, shown);
    const Outcome replaced = ReplaceFiles(run);
    run.presenter.WorkEnds();
    return replaced;
}

// After a person's run that ends Setup: its payload, then Setup.exe and its folder removed,
// unless the setup folder lies in the product's own folders.
void RemoveSetup(Run& run) {
    if (!MayRemoveSetupFolder(run.setupExe, run.product.tree.Base()))
        return;
    if (Result removed = RemovePayload(run.setupFolder); !removed) {
        run.log.Line("Not deleted: ", removed);
        run.presenter.StepFailed(removed, {});
    }
    if (Result started = StartSelfRemoval(run.setupExe, run.program.Get()); !started)
        run.log.Line("Setup.exe cannot remove itself: ", started);
}
} // namespace

int RunSetup(const CommandLine& line, RunPresenter& presenter) {
    Run run(line, presenter);
    const bool person = line.mode == CommandLine::Mode::Person;
    run.product = ReadInstalledProduct();
    // A log that was asked for and cannot be made (or would lie in the product's own folders)
    // ends the run before anything is done, as Windows Installer does; without it nobody would
    // learn what the run did. It is said on the standard error stream, and in the default log.
    // The default log that cannot be made (no log folder, every name taken) is nobody's demand:
    // the run goes on without it.
    Result logMade =
        !line.logFile.empty() && SetupLog::LiesInTree(line.logFile, run.product.tree.Base())
            ? Failed(CodePageText(line.logFile, CP_ACP), ERROR_INVALID_NAME)
            : run.log.Open(line.logFile);
    const bool noLog = !logMade && !line.logFile.empty();
    if (noLog) {
        TellStandardError(L"Setup cannot make the log it was given (its default log says why). "
                          L"Exit code 1622: nothing was done.");
        (void)run.log.Open(std::wstring());
    }
    run.log.Line(CString("Quillo Setup " SETUP_VERSION_TEXT) +
                 (person ? ", run by a person" : ", unattended run"));
    run.log.Line(std::wstring(L"Command line: ") + ::GetCommandLineW());
    if (person)
        run.log.Line(L"Argument: " + line.argument);
    if (noLog)
        run.log.Line("The log cannot be made: ", logMade);

    Outcome outcome = noLog ? Outcome::NoLog : Decide(run);
    if (outcome == Outcome::Upgraded && !run.waiting.empty())
        outcome = Outcome::UpgradedRestart;
    const bool told = presenter.Tell(outcome);
    if (!told)
        run.log.Line("The message that tells the outcome could not be shown.");
    // Only once the person has been told is the journal of a complete upgrade forgotten: should
    // Setup end before, the next start finds the upgrade complete and says so.
    const OutcomeRow& row = RowOf(outcome);
    if (outcome == Outcome::Upgraded || outcome == Outcome::UpgradedRestart)
        FinishUpgrade(run, Finishing::BackupsAndJournal);
    // Named once both finishes are done: the last may leave an old file to the restart as well.
    for (const CString& file : run.waiting)
        run.log.Line("Deleted at the next restart of Windows, still in use: " + file);
    // After a failed run everything stays, so that it can be run again; an unattended run never
    // touches the setup folder (the deployer's, often a share that the next machine needs); nor
    // does a run whose outcome the person was not told.
    if (person && row.endsSetup && told)
        RemoveSetup(run);
    run.log.Line("Exit code " + DecimalText(row.exitCode) + " (" + row.logText + ")");
    return row.exitCode;
}
