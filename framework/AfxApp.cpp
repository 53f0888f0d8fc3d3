#include "AfxApp.h"

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
    auto setDefault = AfxFunction<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryA("");
}
} // namespace

CWinApp::CWinApp() {
    g_app = this;
}

CWinApp* AfxGetApp() {
    return g_app;
}

const char* AfxGetAppName() {
    return g_app ? g_app->m_appName : "";
}

HINSTANCE AfxGetResourceHandle() {
    return g_app && g_app->m_hInstance ? g_app->m_hInstance : ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type) {
    HINSTANCE module = AfxGetResourceHandle();
    return ::FindResourceA(module, name, type) ? module : nullptr;
}

Result AfxLoadSystemLibrary(const char* name, HMODULE* module) {
    // The system folder, a separator and a name of at most 30 characters.
    char path[MAX_PATH + 32] = {};
    UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || lstrlenA(name) > 30)
        return Failed(name, ERROR_FILENAME_EXCED_RANGE);
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    *module = ::LoadLibraryA(path);
    return *module ? Result() : LastError(path);
}

Result AfxInitCommonControls() {
    // comctl32 is not a known DLL: load it from the system folder by full path.
    HMODULE comctl = nullptr;
    if (Result loaded = AfxLoadSystemLibrary("comctl32.dll", &comctl); !loaded)
        return loaded;
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = AfxFunction<InitFn>(comctl, "InitCommonControlsEx");
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_ANIMATE_CLASS};
    if (!init)
        return Failed("comctl32.dll", ERROR_PROC_NOT_FOUND);
    return init(&icc) ? Result() : Failed("comctl32.dll", ERROR_CLASS_DOES_NOT_EXIST);
}

// A crash ends the program as any other fault it cannot carry on from.
static LONG WINAPI EndOnCrash(EXCEPTION_POINTERS*) {
    AfxFatalExit();
}

int AfxWinMain(HINSTANCE instance) {
    // No system box ever: a missing disk or a share that went away gives an error code, and a
    // crash neither shows the system's fault box nor waits for one to be answered.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(EndOnCrash);
    NarrowDllSearchPath();
    // Multibyte text functions follow the system's code page, as the paths
    // and registry texts they handle do.
    _setmbcp(_MB_CP_ANSI);
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->m_hInstance = instance;
    app->m_appName = ModuleBaseName(instance);
    app->InitInstance();
    return app->ExitInstance();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return AfxWinMain(instance);
}
