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
// Loads the DLL `library` from the system folder by its full path, never from the program's folder
// or the search path, and looks up the functions `names` into `functions`, one pointer each in
// that order. The failure names the library: it cannot be loaded, or lacks a function. DLLs that
// are not among the system's known DLLs are loaded this way, so that one planted beside a
// downloaded Setup.exe is never used.
Result AfxLoadSystemFunctions(const char* library, const char* const* names, size_t count,
                              FARPROC* functions);
template <typename Functions, size_t N>
Result AfxLoadSystemFunctions(const char* library, const char* const (&names)[N],
                              Functions* functions) {
    static_assert(sizeof(Functions) == N * sizeof(FARPROC), "one name for each function");
    return AfxLoadSystemFunctions(library, names, N, reinterpret_cast<FARPROC*>(functions));
}
// The function `name` of a module already loaded, or nullptr.
template <typename Function> Function AfxFunction(const char* module, const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA(module), name)));
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
