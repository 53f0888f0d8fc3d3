// The application object and the framework's global helpers.
#pragma once

#include "AfxWin.h"

class CWinApp {
public:
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp() = default;

    // Returns FALSE to end the process without a message loop.
    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }

    const char* m_pszAppName = nullptr;
    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    // The string resource that reports a file error: a text with two "%s", the file's path and
    // the system's description of the error. 0: the description alone.
    UINT m_fileErrorFormat = 0;

private:
    friend int AfxWinMain(HINSTANCE instance);
    CString m_appName;
};

CWinApp* AfxGetApp();
const char* AfxGetAppName();
HINSTANCE AfxGetResourceHandle();
// The module that holds resource `name` of `type`.
HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);
int AfxMessageBox(const char* text, UINT type = MB_OK);
// Shows a file error to the user: which file and what went wrong.
void AfxReportFileError(const struct FileError& error, HWND owner = nullptr);
// Loads the DLL `name` from the system folder by its full path, never from the program's folder
// or the search path; nullptr when it cannot. DLLs that are not among the system's known DLLs
// are loaded this way, so that one planted beside a downloaded Setup.exe is never used.
HMODULE AfxLoadSystemLibrary(const char* name);
// Whether the animation control class could be registered from the system's comctl32.
bool AfxInitCommonControls();
int AfxWinMain(HINSTANCE instance);

void Enable3dControls();
void AfxEnableControlContainer();
