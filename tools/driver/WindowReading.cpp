// Finding the windows of the program under test and reading what they show.
#include "UiDriver.h"

#include <sstream>

namespace uidriver {

namespace {

// Bound of one message sent to the program under test (reading a text, for instance).
constexpr UINT kSendTimeoutMs = 5000;

struct EnumState {
    DWORD processId;
    const WindowQuery* query;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM lParam) {
    auto* state = reinterpret_cast<EnumState*>(lParam);
    if (ProcessOf(window) == state->processId && state->query->Matches(window))
        state->found.push_back(window);
    return TRUE;
}

std::string RectText(const RECT& rect) {
    std::ostringstream out;
    out << "(" << rect.left << "," << rect.top << ")-(" << rect.right << "," << rect.bottom << ")";
    return out.str();
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool SameControl(const ControlInfo& a, const ControlInfo& b) {
    return a.window == b.window && a.id == b.id && a.className == b.className && a.text == b.text &&
           a.style == b.style && a.exStyle == b.exStyle && SameRect(a.rect, b.rect) &&
           a.visible == b.visible && a.enabled == b.enabled;
}

// Style bits that only say whether the window is being shown or used at this moment; the
// snapshot keeps them as `visible` and `enabled` instead.
constexpr DWORD kStateBits = WS_VISIBLE | WS_DISABLED;

} // namespace

bool WindowQuery::Matches(HWND window) const {
    if (!::IsWindow(window))
        return false;
    for (HWND skip : excluded) {
        if (skip == window)
            return false;
    }
    if (className && WindowClass(window) != *className)
        return false;
    if (owner && ::GetWindow(window, GW_OWNER) != *owner)
        return false;
    if (title && WindowText(window) != *title)
        return false;
    if (predicate && !predicate(window))
        return false;
    // Visible last: a dialog is shown only once its controls exist and hidden before they go,
    // so one still visible after the checks above was whole while they ran (a closing dialog
    // that has lost its controls does not pass for another kind of window).
    return !visibleOnly || ::IsWindowVisible(window);
}

WindowQuery WindowQuery::Dialog(std::optional<std::wstring> caption) {
    WindowQuery query;
    query.className = L"#32770";
    query.title = std::move(caption);
    return query;
}

std::vector<HWND> TopLevelWindows(DWORD processId, const WindowQuery& query) {
    EnumState state{processId, &query, {}};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND FindTopLevelWindow(DWORD processId, const WindowQuery& query) {
    std::vector<HWND> found = TopLevelWindows(processId, query);
    return found.empty() ? nullptr : found.front();
}

std::string DescribeTopLevelWindows(DWORD processId) {
    WindowQuery any;
    any.visibleOnly = false;
    std::ostringstream out;
    for (HWND window : TopLevelWindows(processId, any)) {
        out << window << " " << Narrow(WindowClass(window)) << " \"" << Narrow(WindowText(window))
            << "\" owner " << ::GetWindow(window, GW_OWNER)
            << (::IsWindowVisible(window) ? " visible" : " hidden")
            << (::IsWindowEnabled(window) ? " enabled" : " disabled") << "\n";
    }
    return out.str();
}

HWND WaitForWindow(const Process& process, const WindowQuery& query, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindTopLevelWindow(process.Id(), query);
            return found != nullptr || !process.IsRunning();
        },
        timeoutMs);
    return found;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    return WaitUntil([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }, timeoutMs);
}

std::string OutsideWorkArea(HWND window) {
    // The window's and the monitor's pixels, not a picture scaled for a program unaware of DPI
    // (Windows 10 and later; the driver builds for Windows 7).
    using SetAwarenessFn = HANDLE(WINAPI*)(HANDLE);
    if (auto set = reinterpret_cast<SetAwarenessFn>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext"))))
        set(reinterpret_cast<HANDLE>(-4)); // per-monitor aware, version 2
    RECT rect = {};
    MONITORINFO monitor = {sizeof monitor, {}, {}, 0};
    if (!::GetWindowRect(window, &rect) ||
        !::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        return "the window is gone";
    const RECT& work = monitor.rcWork;
    auto inside = [](LONG start, LONG end, LONG low, LONG high) {
        return start >= low && (end <= high || start == low);
    };
    if (inside(rect.left, rect.right, work.left, work.right) &&
        inside(rect.top, rect.bottom, work.top, work.bottom))
        return "";
    std::ostringstream out;
    out << Narrow(WindowText(window)) << " at (" << rect.left << ", " << rect.top << ", "
        << rect.right << ", " << rect.bottom << "), the work area (" << work.left << ", "
        << work.top << ", " << work.right << ", " << work.bottom << ")";
    return out.str();
}

std::wstring WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &length))
        return std::wstring();
    // The length may be an overestimate (it can count a conversion's worst case).
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                               SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied))
        return std::wstring();
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::wstring WindowClass(HWND window) {
    wchar_t name[256] = {};
    int length = ::GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

HWND Control(HWND parent, int id) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if ((::GetDlgCtrlID(child) & 0xFFFF) == (id & 0xFFFF))
            return child;
    }
    return nullptr;
}

std::wstring ControlText(HWND parent, int id) {
    HWND control = Control(parent, id);
    return control ? WindowText(control) : std::wstring();
}

DWORD Style(HWND window) {
    return static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE));
}

DWORD ExStyle(HWND window) {
    return static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE));
}

bool HasStyle(HWND window, DWORD bits) {
    return (Style(window) & bits) == bits;
}

DWORD ProcessOf(HWND window) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    return processId;
}

DWORD ThreadOf(HWND window) {
    return ::GetWindowThreadProcessId(window, nullptr);
}

ControlInfo DescribeControl(HWND control) {
    ControlInfo info;
    info.window = control;
    info.id = ::GetDlgCtrlID(control) & 0xFFFF;
    info.className = WindowClass(control);
    info.text = WindowText(control);
    info.style = Style(control) & ~kStateBits;
    info.exStyle = ExStyle(control);
    RECT rect = {};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    info.rect = rect;
    info.visible = ::IsWindowVisible(control) != FALSE;
    info.enabled = ::IsWindowEnabled(control) != FALSE;
    return info;
}

std::vector<ControlInfo> Children(HWND parent) {
    std::vector<ControlInfo> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(DescribeControl(child));
    return children;
}

std::vector<std::wstring> StaticTexts(HWND parent) {
    std::vector<std::wstring> texts;
    for (const ControlInfo& child : Children(parent)) {
        if (_wcsicmp(child.className.c_str(), L"Static") == 0 &&
            (child.style & SS_TYPEMASK) != SS_ICON && child.visible)
            texts.push_back(child.text);
    }
    return texts;
}

WindowSnapshot Snapshot(HWND window) {
    WindowSnapshot snapshot;
    snapshot.className = WindowClass(window);
    snapshot.text = WindowText(window);
    snapshot.style = Style(window) & ~kStateBits;
    snapshot.exStyle = ExStyle(window);
    ::GetWindowRect(window, &snapshot.rect);
    snapshot.visible = ::IsWindowVisible(window) != FALSE;
    snapshot.enabled = ::IsWindowEnabled(window) != FALSE;
    snapshot.children = Children(window);
    return snapshot;
}

bool operator==(const WindowSnapshot& a, const WindowSnapshot& b) {
    if (a.className != b.className || a.text != b.text || a.style != b.style ||
        a.exStyle != b.exStyle || !SameRect(a.rect, b.rect) || a.visible != b.visible ||
        a.enabled != b.enabled || a.children.size() != b.children.size())
        return false;
    for (size_t i = 0; i < a.children.size(); ++i) {
        if (!SameControl(a.children[i], b.children[i]))
            return false;
    }
    return true;
}

std::string Describe(const WindowSnapshot& snapshot) {
    std::ostringstream out;
    out << Narrow(snapshot.className) << " \"" << Narrow(snapshot.text) << "\" style 0x" << std::hex
        << snapshot.style << " ex 0x" << snapshot.exStyle << std::dec << " "
        << RectText(snapshot.rect) << (snapshot.visible ? " visible" : " hidden")
        << (snapshot.enabled ? " enabled" : " disabled") << "\n";
    for (const ControlInfo& child : snapshot.children) {
        std::wstring text = child.text.size() > 60 ? child.text.substr(0, 60) + L"..." : child.text;
        out << "  id " << child.id << " " << Narrow(child.className) << " \"" << Narrow(text)
            << "\" (" << child.text.size() << " chars) style 0x" << std::hex << child.style
            << " ex 0x" << child.exStyle << std::dec << " " << RectText(child.rect)
            << (child.visible ? " visible" : " hidden")
            << (child.enabled ? " enabled" : " disabled") << "\n";
    }
    return out.str();
}

HWND FocusedWindow(HWND anyWindowOfThread) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(ThreadOf(anyWindowOfThread), &info))
        return nullptr;
    return info.hwndFocus;
}

HWND ActiveWindow(HWND anyWindowOfThread) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(ThreadOf(anyWindowOfThread), &info))
        return nullptr;
    return info.hwndActive;
}

bool MessageBoxInfo::HasButton(int id) const {
    for (const ControlInfo& button : buttons) {
        if (button.id == (id & 0xFFFF))
            return true;
    }
    return false;
}

std::vector<int> MessageBoxInfo::ButtonIds() const {
    std::vector<int> ids;
    for (const ControlInfo& button : buttons)
        ids.push_back(button.id);
    return ids;
}

MessageBoxInfo ReadMessageBox(HWND box) {
    MessageBoxInfo info;
    info.window = box;
    info.owner = ::GetWindow(box, GW_OWNER);
    info.caption = WindowText(box);
    for (const ControlInfo& child : Children(box)) {
        if (_wcsicmp(child.className.c_str(), L"Button") == 0 && child.visible)
            info.buttons.push_back(child);
        else if (_wcsicmp(child.className.c_str(), L"Static") == 0 && child.id == 0xFFFF &&
                 (child.style & SS_TYPEMASK) != SS_ICON)
            info.text = child.text;
    }
    return info;
}

HWND WaitForMessageBox(const Process& process, HWND owner, DWORD timeoutMs,
                       const std::vector<HWND>& excluded) {
    WindowQuery query = WindowQuery::Dialog();
    query.owner = owner;
    query.excluded = excluded;
    return WaitForWindow(process, query, timeoutMs);
}

} // namespace uidriver
