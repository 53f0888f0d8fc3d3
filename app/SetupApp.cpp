#include "app/SetupApp.h"

#include "app/OneSetupAtATime.h"
#include "app/RunMode.h"
#include "app/SelfRemoval.h"
#include "res/resource.h"
#include "ui/LicenceView.h"
#include "ui/Outcomes.h"
#include "upgrade/FileOps.h"
#include "upgrade/SetupLog.h"

CSetupApp theApp;

namespace {
// The full path of the running executable in a form the 8-bit file functions take (see
// AnsiPathOf), or "" when there is none: a path cut short is never used.
CString OwnModulePath() {
    std::wstring path = AfxModuleFileName(nullptr);
    return path.empty() ? CString() : AnsiPathOf(path);
}
} // namespace

BOOL CSetupApp::InitInstance() {
    const RunMode mode = RunModeOf(__argc, __argv);
    if (mode == RunMode::Cleanup) {
        m_exitCode = RunCleanupCopy(__argc, __argv);
        return FALSE;
    }
    const bool person = mode == RunMode::Installer;
    SetupLog log(true);
    log.Line(CString("Quillo Setup " SETUP_VERSION_TEXT) +
             (person ? ", run by a person" : ", unattended run"));
    log.Line(std::wstring(L"Command line: ") + ::GetCommandLineW());

    const CString setupExe = OwnModulePath();
    RunResult run;
    run.outcome = Outcome::AnotherSetup;
    OneSetupAtATime lock;
    if (lock.IsTheOne()) {
        const RunInput input = {FolderOf(setupExe), ReadInstalledProduct()};
        log.Line("Setup folder: " + input.setupFolder);
        LicenceView licence; // its windows close as the block ends
        RunPresenter nobody; // an unattended run shows nothing
        run = RunSetup(input, person ? static_cast<RunPresenter&>(licence) : nobody, log);
    } else if (person && !OneSetupAtATime::ShowTheRunningSetup()) {
        // The running Setup speaks for itself; one that cannot be shown is said to run.
        (void)LicenceView().Tell(Outcome::AnotherSetup);
    }

    // After a failed run everything stays, so that it can be run again; an unattended run never
    // touches the setup folder (the deployer's, often a share that the next machine needs); nor
    // does a run whose outcome the person was not told.
    const OutcomeRow& row = RowOf(run.outcome);
    if (person && row.endsSetup && run.told)
        RemoveSetup(setupExe, run.installBase);
    m_exitCode = row.exitCode;
    char code[16];
    wsprintfA(code, "%d", m_exitCode);
    log.Line(CString("Exit code ") + code + " (" + row.logText + ")");
    return FALSE;
}
