#include "app/SetupApp.h"

#include "run/SelfRemoval.h"
#include "run/SetupRun.h"
#include "ui/PersonView.h"

#include <utility>

CSetupApp theApp;

// msvcrt's split of the UTF-16 command line into arguments.
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment,
                                      int expandWildcards, int* startupInfo);

namespace {
// The command line as Windows gives it, in UTF-16, split by the run-time library's rules (as the
// 8-bit one was): the 8-bit line would have had characters the code page cannot spell replaced by
// look-alikes ("／" by "/"). The run-time library splits it without shell32, which would cost
// every start of Setup its load.
CommandLine ReadCommandLine() {
    int argc = 0;
    wchar_t **argv = nullptr, **environment = nullptr;
    int startup = 0;
    if (__wgetmainargs(&argc, &argv, &environment, 0, &startup) < 0)
        argc = 0;
    return ParseCommandLine(argc, argv);
}

// The run with a presenter of kind `View`, whose windows close as it ends.
template <typename View> int RunWith(const CommandLine& line) {
    View view;
    return RunSetup(line, view);
}
} // namespace

BOOL CSetupApp::InitInstance() {
    using Mode = CommandLine::Mode;
    CommandLine line = ReadCommandLine();
    // The clean-up copy's form given by anyone but Setup is a command line not understood.
    if (line.mode == Mode::Cleanup) {
        FileHandle folder;
        if (const char* refused = RefusedCleanup(line.handle, line.setupExe, &folder)) {
            line.mode = Mode::Invalid;
            line.problem = refused;
        } else {
            m_exitCode = RunCleanupCopy(line.handle, line.setupExe, std::move(folder));
            return FALSE;
        }
    }
    // A person's run; a passive run shows the copy window alone; a quiet run, or one not
    // understood, shows nothing. Only the presenter the run needs is made: a person's loads the
    // icon, the first use of the display, which a quiet run never makes. (Wine loads its display
    // driver then.)
    m_exitCode = line.mode == Mode::Person    ? RunWith<PersonView>(line)
                 : line.mode == Mode::Passive ? RunWith<CopyWindowView>(line)
                                              : RunWith<RunPresenter>(line);
    return FALSE;
}
