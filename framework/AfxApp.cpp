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
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto setDefault =
        AfxFunction<SetDefaultDllDirectoriesFn>("kernel32.dll", "SetDefaultDllDirectories");
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

Result AfxLoadSystemFunctions(const char* library, const char* const* names, size_t count,
                              FARPROC* functions) {
    // The system folder, a separator and a name of at most 30 characters.
    char path[MAX_PATH + 32] = {};
    UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || lstrlenA(library) > 30)
        return Failed(library, ERROR_FILENAME_EXCED_RANGE);
    lstrcatA(path, "\\");
    lstrcatA(path, library);
    HMODULE module = ::LoadLibraryA(path);
    if (!module)
        return LastError(path);
    for (size_t i = 0; i < count; ++i)
        if (!(functions[i] = ::GetProcAddress(module, names[i])))
            return Failed(library, ERROR_PROC_NOT_FOUND);
    return {};
}

Result AfxInitCommonControls() {
    // comctl32 is not a known DLL: it is loaded from the system folder by full path.
    static const char* const kNames[] = {"InitCommonControlsEx"};
    struct {
        BOOL(WINAPI* init)(const INITCOMMONCONTROLSEX*);
    } comctl;
    if (Result loaded = AfxLoadSystemFunctions("comctl32.dll", kNames, &comctl); !loaded)
        return loaded;
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_ANIMATE_CLASS};
    return comctl.init(&icc) ? Result() : Failed("comctl32.dll", ERROR_CLASS_DOES_NOT_EXIST);
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
