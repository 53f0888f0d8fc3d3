#include "AfxApp.h"

#include "AfxFile.h"

#include <commctrl.h>
#include <mbctype.h>

namespace {
CWinApp* g_app = nullptr;

// The application's name when none is given: the executable's base name. The path is read
// whole, however long, so that the name never comes from a path cut short.
CString ModuleBaseName(HINSTANCE instance) {
    std::wstring path = AfxModuleFileName(instance);
    std::wstring::size_type start = path.find_last_of(L"\\/:");
    std::wstring name = path.substr(start == std::wstring::npos ? 0 : start + 1);
    std::wstring::size_type dot = name.rfind(L'.');
    if (dot != std::wstring::npos)
        name.resize(dot);
    return CString(CodePageText(name, CP_ACP));
}

// Takes DLLs from the system folder only: an installer usually runs from a
// downloads folder, where a planted DLL must never be picked up.
void NarrowDllSearchPath() {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryA("");
}
} // namespace

CWinApp::CWinApp(const char* appName) {
    if (appName) {
        m_appName = appName;
        m_pszAppName = m_appName;
    }
    g_app = this;
}

CWinApp* AfxGetApp() {
    return g_app;
}

const char* AfxGetAppName() {
    return g_app && g_app->m_pszAppName ? g_app->m_pszAppName : "";
}

HINSTANCE AfxGetResourceHandle() {
    return g_app && g_app->m_hInstance ? g_app->m_hInstance : ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type) {
    HINSTANCE module = AfxGetResourceHandle();
    return ::FindResourceA(module, name, type) ? module : nullptr;
}

int AfxMessageBox(const char* text, UINT type) {
    HWND owner = g_app && g_app->m_pMainWnd ? g_app->m_pMainWnd->m_hWnd : nullptr;
    if (owner && !::IsWindow(owner))
        owner = nullptr;
    return ::MessageBoxA(owner, text, AfxGetAppName(), type);
}

void AfxReportFileError(const FileError& error, HWND owner) {
    CString format = "%s: %s";
    if (g_app && g_app->m_fileErrorFormat)
        format.LoadString(g_app->m_fileErrorFormat);
    CString reason = SystemErrorText(error.code);
    // wsprintfA stops at 1024 characters; build the text by hand instead.
    std::string result;
    const std::string& f = format.Str();
    int field = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] == '%' && i + 1 < f.size() && f[i + 1] == 's') {
            result += field++ == 0 ? error.path.Str() : reason.Str();
            ++i;
        } else {
            result += f[i];
        }
    }
    if (owner)
        ::MessageBoxA(owner, result.c_str(), AfxGetAppName(), MB_OK | MB_ICONERROR);
    else
        AfxMessageBox(result.c_str(), MB_OK | MB_ICONERROR);
}

HMODULE AfxLoadSystemLibrary(const char* name) {
    // The system folder, a separator and a name of at most 30 characters.
    char path[MAX_PATH + 32] = {};
    UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || lstrlenA(name) > 30)
        return nullptr;
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    return ::LoadLibraryA(path);
}

bool AfxInitCommonControls() {
    // comctl32 is not a known DLL: load it from the system folder by full path.
    HMODULE comctl = AfxLoadSystemLibrary("comctl32.dll");
    if (!comctl)
        return false;
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitFn>(
        reinterpret_cast<void*>(::GetProcAddress(comctl, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_ANIMATE_CLASS};
    return init && init(&icc);
}

// Controls are drawn by the system in their classic look; nothing to enable.
void Enable3dControls() {
}
void AfxEnableControlContainer() {
}

int AfxWinMain(HINSTANCE instance) {
    NarrowDllSearchPath();
    // Multibyte text functions follow the system's code page, as the paths
    // and registry texts they handle do.
    _setmbcp(_MB_CP_ANSI);
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->m_hInstance = instance;
    if (!app->m_pszAppName) {
        app->m_appName = ModuleBaseName(instance);
        app->m_pszAppName = app->m_appName;
    }
    app->InitInstance();
    return app->ExitInstance();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return AfxWinMain(instance);
}
