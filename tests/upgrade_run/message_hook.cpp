// upgrade_run_hook.dll: message hooks that the tests install on Setup's user-interface thread.
// The system loads this library into Setup when a hooked event first happens there; the hooks
// then append one line per event of interest to the file named by the environment variable
// QUILLO_UPGRADE_RUN_HOOK_LOG (set for Setup only, so the test process that merely loads the
// library to install the hooks writes nothing).
//
// Line format, fields separated by one space, numbers in hex:
//   <kind> <window> <class> <message> <wParam> <lParam> <animation> <result> <watched>
// kind: "get" (a posted message removed from the queue, before it is dispatched), "call" (a
// sent message, before the window procedure runs) or "ret" (a sent message, after it);
// animation: 1 when the window has a child with identifier 1002 (the progress dialog, once its
// controls exist), else 0; result: what the window procedure returned, for "ret" lines, else "-";
// watched: 1 when the file named by QUILLO_UPGRADE_RUN_HOOK_WATCH exists at that moment, else 0
// ("-" when none is named).
//
// QUILLO_UPGRADE_RUN_HOOK_SLOW_MS, when set, makes the progress dialog's initialisation take that
// many milliseconds longer, as on a slow or busy machine.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kAnimationId = 1002;
constexpr UINT kAnimateOpenA = WM_USER + 100;
constexpr UINT kAnimateOpenW = WM_USER + 103;

HANDLE gLog = INVALID_HANDLE_VALUE;
DWORD gSlowMs = 0;
char gWatched[MAX_PATH] = {};

void ReadSlowness() {
    char text[16] = {};
    DWORD length = GetEnvironmentVariableA("QUILLO_UPGRADE_RUN_HOOK_SLOW_MS", text, sizeof text);
    if (length > 0 && length < sizeof text)
        gSlowMs = static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

void ReadWatched() {
    DWORD length = GetEnvironmentVariableA("QUILLO_UPGRADE_RUN_HOOK_WATCH", gWatched, MAX_PATH);
    if (length >= MAX_PATH)
        gWatched[0] = '\0';
}

void OpenLog() {
    char path[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("QUILLO_UPGRADE_RUN_HOOK_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    gLog =
        CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsAnimationMessage(UINT message) {
    return message >= kAnimateOpenA && message <= kAnimateOpenW;
}

// The messages the tests reason about: creation, the dialog's initialisation, showing, timers,
// the clip messages, and WM_NULL, which the tests post as a marker to learn that earlier posted
// messages have been handled.
bool IsOfInterest(UINT message) {
    return message == WM_NULL || message == WM_CREATE || message == WM_DESTROY ||
           message == WM_INITDIALOG || message == WM_SHOWWINDOW || message == WM_TIMER ||
           IsAnimationMessage(message);
}

void Record(const char* kind, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
            const LRESULT* result) {
    if (gLog == INVALID_HANDLE_VALUE || !IsOfInterest(message))
        return;
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    bool hasAnimation = GetDlgItem(window, kAnimationId) != nullptr;
    char answer[16] = "-";
    if (result)
        std::snprintf(answer, sizeof answer, "%lX", static_cast<unsigned long>(*result));
    const char* watched = !gWatched[0]                                              ? "-"
                          : GetFileAttributesA(gWatched) != INVALID_FILE_ATTRIBUTES ? "1"
                                                                                    : "0";
    char line[256];
    int length =
        std::snprintf(line, sizeof line, "%s %08lX %s %04X %08lX %08lX %d %s %s\n", kind,
                      static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)),
                      name[0] ? name : "?", message, static_cast<unsigned long>(wParam),
                      static_cast<unsigned long>(lParam), hasAnimation ? 1 : 0, answer, watched);
    if (length > 0) {
        DWORD written = 0;
        WriteFile(gLog, line, static_cast<DWORD>(length), &written, nullptr);
    }
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const MSG* message = reinterpret_cast<const MSG*>(lParam);
        Record("get", message->hwnd, message->message, message->wParam, message->lParam, nullptr);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK
    CallWndProcHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        Record("call", sent->hwnd, sent->message, sent->wParam, sent->lParam, nullptr);
        if (sent->message == WM_INITDIALOG && gSlowMs > 0 && GetDlgItem(sent->hwnd, kAnimationId))
            Sleep(gSlowMs);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK
    CallWndRetProcHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const CWPRETSTRUCT* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        Record("ret", sent->hwnd, sent->message, sent->wParam, sent->lParam, &sent->lResult);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        OpenLog();
        ReadSlowness();
        ReadWatched();
    } else if (reason == DLL_PROCESS_DETACH && gLog != INVALID_HANDLE_VALUE)
        CloseHandle(gLog);
    return TRUE;
}
