#include "app/SetupApp.h"

#include "run/SelfRemoval.h"
#include "run/SetupRun.h"
#include "ui/PersonView.h"

CSetupApp theApp;

BOOL CSetupApp::InitInstance() {
    using Mode = CommandLine::Mode;
    const CommandLine line = ParseCommandLine(__argc, __argv);
    if (line.mode == Mode::Cleanup) {
        m_exitCode = RunCleanupCopy(line.handle, line.setupExe.c_str());
        return FALSE;
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
