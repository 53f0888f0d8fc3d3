// The one way the program ends on a fault it cannot carry on from: the application's note (a log
// line), exit code 1603, and no window of any kind; nothing is deleted, and an upgrade under way
// is rolled back by the next start. The C run-time's abort is never called: in a GUI program it
// may show a message box that nobody at a service's desktop can answer.
#include "AfxApp.h"

namespace {
void (*g_fatalNote)() = nullptr;
} // namespace

void AfxSetFatalNote(void (*note)()) {
    g_fatalNote = note;
}

void AfxFatalExit() {
    static bool ending = false;
    if (!ending && g_fatalNote) {
        ending = true; // a fault inside the note ends at once
        g_fatalNote();
    }
    ::ExitProcess(kAfxFatalExitCode);
}
