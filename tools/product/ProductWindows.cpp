// One thread per product window: the thread registers the class, shows the window and runs
// its message loop; the window procedure logs each message before acting on it.
#include "ProductWindows.h"

#include "ProcessHelpers.h"

namespace product {

const char* const kProductClasses[3] = {"TindleBar", "ZenlexTest", "TinSync_Server"};

namespace {

// Posted by a window procedure to its own thread once it has answered a quit request; it
// carries no window, so it reaches the loop but never the window procedure or the log.
constexpr UINT kQuitAnswered = WM_APP + 1;
constexpr WPARAM kMarkerWParam = 0x5555;
constexpr LPARAM kMarkerLParam = 0xAAAA;

struct WindowSlot {
    std::string className;
    bool hang = false;
    int index = 0;
    MessageLog* log = nullptr;
    HWND window = nullptr;
    HANDLE shown = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE quitAnswered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

// The slot of the window that the calling thread owns; set before the window is created,
// so that the messages sent during creation are logged too.
DWORD gSlotIndex = TlsAlloc();

bool IsQuitRequest(UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_CLOSE ||
           (message == WM_DESTROY && wParam == kMarkerWParam && lParam == kMarkerLParam);
}

LRESULT CALLBACK ProductWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* slot = static_cast<WindowSlot*>(TlsGetValue(gSlotIndex));
    if (slot == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    slot->log->Write(slot->className, message, wParam, lParam);
    if (IsQuitRequest(message, wParam, lParam)) {
        if (slot->hang) {
            Sleep(INFINITE);
        }
        // The window stays, so later messages are logged too, until the process ends.
        PostThreadMessageA(GetCurrentThreadId(), kQuitAnswered, 0, 0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateProductWindow(const WindowSlot& slot) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ProductWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = slot.className.c_str();
    RegisterClassA(&windowClass);
    // Side by side along the bottom of the screen, out of the way of Setup's dialogs.
    int x = 10 + slot.index * 250;
    int y = GetSystemMetrics(SM_CYSCREEN) - 130;
    std::string title = "Quillo " + slot.className;
    return CreateWindowExA(0, slot.className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, x, y, 240,
                           90, nullptr, nullptr, instance, nullptr);
}

DWORD WINAPI WindowThread(void* parameter) {
    auto* slot = static_cast<WindowSlot*>(parameter);
    TlsSetValue(gSlotIndex, slot);
    slot->window = CreateProductWindow(*slot);
    if (slot->window == nullptr) {
        slot->log->WriteText("QuilloProduct: cannot create the window of class " + slot->className +
                             ", error " + std::to_string(GetLastError()));
    } else {
        // Shown without activation, so a dialog the user works in keeps the focus.
        ShowWindow(slot->window, SW_SHOWNOACTIVATE);
        UpdateWindow(slot->window);
    }
    SetEvent(slot->shown);
    if (slot->window == nullptr) {
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == kQuitAnswered) {
            SetEvent(slot->quitAnswered);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

} // namespace

int RunProductWindows(const std::vector<std::string>& classes, const std::string& hangClass,
                      MessageLog& log, const std::string& readyFile) {
    // The slots are never freed: the window threads use them until the process ends, which
    // happens right after this returns, with the threads still running.
    std::vector<WindowSlot*> slots;
    std::vector<HANDLE> shown;
    std::vector<HANDLE> answered;
    for (size_t i = 0; i < classes.size() && i < MAXIMUM_WAIT_OBJECTS; ++i) {
        auto* slot = new WindowSlot;
        slot->className = classes[i];
        slot->hang = classes[i] == hangClass;
        slot->index = static_cast<int>(i);
        slot->log = &log;
        shown.push_back(slot->shown);
        answered.push_back(slot->quitAnswered);
        HANDLE thread = CreateThread(nullptr, 0, WindowThread, slot, 0, nullptr);
        if (thread == nullptr) {
            return 3;
        }
        CloseHandle(thread);
        slots.push_back(slot);
    }
    if (slots.empty()) {
        return 0;
    }
    DWORD count = static_cast<DWORD>(slots.size());
    WaitForMultipleObjects(count, shown.data(), TRUE, INFINITE);
    for (const WindowSlot* slot : slots) {
        if (slot->window == nullptr) {
            return 3;
        }
    }
    if (!readyFile.empty()) {
        WriteReadyFile(readyFile, std::to_string(GetCurrentProcessId()) + "\n");
    }
    WaitForMultipleObjects(count, answered.data(), TRUE, INFINITE);
    return 0;
}

} // namespace product
