// The application object and the framework's global helpers.
#pragma once

#include "AfxFile.h"
#include "AfxWin.h"

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp() = default;

    // Returns FALSE to end the process without a message loop.
    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }

    CString m_appName; // the executable's base name: "Setup"
    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
};

CWinApp* AfxGetApp();
const char* AfxGetAppName();
HINSTANCE AfxGetResourceHandle();
// The module that holds resource `name` of `type`.
HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);
// Loads the DLL `name` from the system folder by its full path, never from the program's folder
// or the search path; the failure names it. DLLs that are not among the system's known DLLs are
// loaded this way, so that one planted beside a downloaded Setup.exe is never used.
Result AfxLoadSystemLibrary(const char* name, HMODULE* module);
// The function `name` of `library` (loaded as above), or nullptr.
template <typename Function> Function AfxFunction(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}
// Registers the animation control's class from the system's comctl32; the failure names it.
Result AfxInitCommonControls();
int AfxWinMain(HINSTANCE instance);

// The exit code of a fault the program cannot carry on from: Windows Installer's "fatal error".
constexpr UINT kAfxFatalExitCode = 1603;
// `note` runs once when the program ends on such a fault (the application's last log line, say);
// it must not rely on anything that may have failed.
void AfxSetFatalNote(void (*note)());
// Ends the program at once on a fault it cannot carry on from: the note, then kAfxFatalExitCode,
// with no window of any kind.
[[noreturn]] void AfxFatalExit();
