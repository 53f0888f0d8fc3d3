#include "app/SetupApp.h"

#include "app/OneSetupAtATime.h"
#include "app/CommandLine.h"
#include "app/SelfRemoval.h"
#include "res/resource.h"
#include "ui/LicenceView.h"
#include "ui/Messages.h"
#include "ui/Outcomes.h"
#include "upgrade/FileOps.h"
#include "upgrade/SetupLog.h"

#include <shellapi.h>

CSetupApp theApp;

namespace {
// The full path of the running executable in a form the 8-bit file functions take (see
// AnsiPathOf), or "" when there is none: a path cut short is never used.
CString OwnModulePath() {
    std::wstring path = AfxModuleFileName(nullptr);
    return path.empty() ? CString() : AnsiPathOf(path);
}
// The command line as Windows gives it, in UTF-16, split by the system's rules (shell32 is one of
// the system's known DLLs): the 8-bit line would have had characters the code page cannot spell
// replaced by look-alikes ("／" by "/").
CommandLine ReadCommandLine() {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    CommandLine line = ParseCommandLine(argv ? argc : 0, argv);
    ::LocalFree(argv);
    return line;
}
} // namespace

BOOL CSetupApp::InitInstance() {
    using Mode = CommandLine::Mode;
    CommandLine line = ReadCommandLine();
    // The clean-up copy's form given by anyone but Setup is a command line not understood.
    if (line.mode == Mode::Cleanup) {
        if (const char* refused = RefusedCleanup(line.handle, line.setupExe)) {
            line.mode = Mode::Invalid;
            line.problem = refused;
        } else {
            m_exitCode = RunCleanupCopy(line.handle, line.setupExe);
            return FALSE;
        }
    }

    const bool person = line.mode == Mode::Person;
    SetupLog log;
    // A log that was asked for and cannot be made ends the run before anything is done, as
    // Windows Installer does (1622); without its log nobody would learn what the run did. The
    // default log that cannot be made (no log folder, every name taken) is nobody's demand: the
    // run goes on without it.
    if (Result made = log.Open(line.logFile); !made && !line.logFile.empty()) {
        m_exitCode = ERROR_INSTALL_LOG_FAILURE;
        wchar_t code[80];
        wsprintfW(code, L" (system error %lu). Exit code 1622: nothing was done.", made.code);
        TellStandardError(L"Setup could not make the log " + line.logFile + code);
        return FALSE;
    }
    log.Line(CString("Quillo Setup " SETUP_VERSION_TEXT) +
             (person ? ", run by a person" : ", unattended run"));
    log.Line(std::wstring(L"Command line: ") + ::GetCommandLineW());
    if (person && !line.argument.empty())
        log.Line(L"Argument: " + line.argument);

    const CString setupExe = OwnModulePath();
    FileHandle program = HoldOwnProgram(setupExe);
    RunResult run;
    run.outcome = Outcome::NotUnderstood;
    OneSetupAtATime lock;
    if (line.mode == Mode::Invalid) {
        log.Line(CString("The command line is not understood: ") + line.problem);
    } else if (lock.IsTheOne()) {
        const RunInput input = {FolderOf(setupExe), ReadInstalledProduct()};
        log.Line("Setup folder: " + input.setupFolder);
        LicenceView licence; // a person's run; its windows close as the block ends
        CopyWindowView copy; // a passive run shows the copy window alone
        RunPresenter nobody; // a quiet run shows nothing
        RunPresenter& view = person ? licence : line.mode == Mode::Passive ? copy : nobody;
        run = RunSetup(input, view, log);
    } else {
        run.outcome = Outcome::AnotherSetup;
        // The running Setup speaks for itself; one that cannot be shown is said to run.
        if (person && !OneSetupAtATime::ShowTheRunningSetup())
            (void)LicenceView().Tell(Outcome::AnotherSetup);
    }

    // After a failed run everything stays, so that it can be run again; an unattended run never
    // touches the setup folder (the deployer's, often a share that the next machine needs); nor
    // does a run whose outcome the person was not told.
    const OutcomeRow& row = RowOf(run.outcome);
    if (person && row.endsSetup && run.told) {
        if (Result refused = RemoveSetup(setupExe, program.Get(), run.installBase); !refused) {
            log.Line("Not deleted: " + refused.path + ": " + SystemErrorText(refused.code));
            (void)ShowFileError(nullptr, refused);
        }
    }
    m_exitCode = row.exitCode;
    char code[16];
    wsprintfA(code, "%d", m_exitCode);
    log.Line(CString("Exit code ") + code + " (" + row.logText + ")");
    return FALSE;
}
