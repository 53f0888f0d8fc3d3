// The baseline of the start-up benchmark: a program that shows one dialog from a template with
// DialogBoxParam and ends when it is closed. Started with the argument "comctl" it first loads
// comctl32 and registers the animation class, as Setup does at start, to tell how much of
// Setup's start-up that step takes.
#include <windows.h>

#include <commctrl.h>
#include <cstring>

namespace {

constexpr int kDialogId = 100;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// Loads comctl32 from the system folder and registers the animation control class.
void LoadCommonControls() {
    char path[MAX_PATH + 32] = {};
    UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    lstrcatA(path, "\\comctl32.dll");
    HMODULE comctl = ::LoadLibraryA(path);
    if (!comctl)
        return;
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitFn>(
        reinterpret_cast<void*>(::GetProcAddress(comctl, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_ANIMATE_CLASS};
    if (init)
        init(&icc);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    if (std::strstr(commandLine, "comctl"))
        LoadCommonControls();
    return static_cast<int>(
        ::DialogBoxParamA(instance, MAKEINTRESOURCEA(kDialogId), nullptr, DialogProc, 0));
}
