#include "app/SetupApp.h"

#include "run/SelfRemoval.h"
#include "run/SetupRun.h"
#include "ui/PersonView.h"

#include <shellapi.h>

CSetupApp theApp;

namespace {
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
    PersonView person;   // a person's run; its windows close as the block ends
    CopyWindowView copy; // a passive run shows the copy window alone
    RunPresenter nobody; // a quiet run, or one not understood, shows nothing
    RunPresenter& view = line.mode == Mode::Person    ? person
                         : line.mode == Mode::Passive ? copy
                                                      : nobody;
    m_exitCode = RunSetup(line, view);
    return FALSE;
}
