// A small driver for GUI tests under Wine: starts a program, finds its windows, reads their
// texts, presses buttons and keys as a person would, answers message boxes, and waits for the
// program to end. Every wait is bounded; a started program that is still running when its
// Process object goes away is killed.
//
// Texts are read and compared as UTF-16 (the W functions), so results do not depend on the
// code page of the test program or of the program under test.
//
// Typical use:
//     uidriver::Process setup = uidriver::Process::Start(L"C:\\x\\Setup.exe", L"go");
//     HWND dialog = uidriver::WaitForWindow(setup, uidriver::WindowQuery::Dialog(L"Setup"));
//     uidriver::ClickDialogButton(dialog, IDCANCEL);
//     HWND box = uidriver::WaitForMessageBox(setup, dialog);
//     uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);  // caption, text, buttons
//     uidriver::AnswerMessageBox(box, IDYES);
//     bool ended = setup.WaitForExit(uidriver::kDefaultTimeoutMs);
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace uidriver {

// Bound of the waits when the caller gives none. Starting a process under Wine can take a few
// seconds, longer right after the prefix was created.
constexpr DWORD kDefaultTimeoutMs = 20000;
// How often the waits look again.
constexpr DWORD kPollMs = 20;

// ---------------------------------------------------------------------------------------------
// Waiting and text conversion

// Evaluates `condition` until it is true or `timeoutMs` has passed; returns its last result.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kDefaultTimeoutMs,
               DWORD pollMs = kPollMs);

// Converts UTF-8 to UTF-16 and back, for paths and for readable failure messages.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

// ---------------------------------------------------------------------------------------------
// The program under test

// One variable merged into the inherited environment of a started program (replacing a
// variable of the same name). Under Wine 8 the child's locale follows the Unix environment of
// the Wine process tree, not this block: LC_ALL given here is visible to the child as a
// variable but does not change its language or code page.
struct EnvironmentVariable {
    std::wstring name;
    std::wstring value;
};

struct StartOptions {
    // Current directory of the program; empty: the test's own.
    std::wstring workingDirectory;
    // Added to (or replacing in) the inherited environment.
    std::vector<EnvironmentVariable> environment;
    // Whether the program inherits this process's inheritable handles (under the same values),
    // so that a test can hand it a handle of its own.
    bool inheritHandles = false;
    // Whether the program's first thread waits, never started, until the process is killed.
    bool suspended = false;
};

// A program started by the test. Movable, not copyable. The destructor kills the program if it
// is still running, so a failing test never leaves it behind.
class Process {
public:
    Process() = default;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    // Starts `exe` with the command line `"exe" arguments` (just `"exe"` when `arguments` is
    // empty, so the program sees no argument at all). Check Started() for the result.
    static Process Start(const std::wstring& exe, const std::wstring& arguments,
                         const StartOptions& options = {});
    // Starts `exe` with exactly `commandLine`, argument 0 included.
    static Process StartWithCommandLine(const std::wstring& exe, const std::wstring& commandLine,
                                        const StartOptions& options = {});

    // Whether CreateProcess succeeded, and its error code when it did not.
    bool Started() const { return m_process != nullptr; }
    DWORD StartError() const { return m_startError; }
    DWORD Id() const { return m_id; }
    HANDLE Handle() const { return m_process; }

    // Whether the process has not ended yet.
    bool IsRunning() const;
    // Waits up to `timeoutMs` for the process to end; calls `whileWaiting` (if given) about
    // every kPollMs meanwhile, e.g. to watch its windows. True when it has ended.
    bool WaitForExit(DWORD timeoutMs = kDefaultTimeoutMs,
                     const std::function<void()>& whileWaiting = {}) const;
    // The exit code once the process has ended.
    std::optional<DWORD> ExitCode() const;
    // Ends the process at once if it is still running, and waits (bounded) until it is gone.
    void Kill();

private:
    void Close();

    HANDLE m_process = nullptr;
    DWORD m_id = 0;
    DWORD m_startError = 0;
};

// ---------------------------------------------------------------------------------------------
// Finding windows

// What a window must be like to match; unset fields match anything.
struct WindowQuery {
    std::optional<std::wstring> className; // exact, e.g. L"#32770" for dialogs and message boxes
    std::optional<std::wstring> title;     // exact window text
    std::optional<HWND> owner;             // GetWindow(GW_OWNER), nullptr for "no owner"
    std::vector<HWND> excluded;            // windows that never match
    bool visibleOnly = true;               // only windows with WS_VISIBLE (IsWindowVisible)
    std::function<bool(HWND)> predicate;   // any further condition

    bool Matches(HWND window) const;

    // A dialog box (class "#32770"), with this caption when one is given.
    static WindowQuery Dialog(std::optional<std::wstring> caption = std::nullopt);
};

// The top-level windows of process `processId` that match `query`, in Z order (top first).
std::vector<HWND> TopLevelWindows(DWORD processId, const WindowQuery& query = {});
// The first of TopLevelWindows, or nullptr.
HWND FindTopLevelWindow(DWORD processId, const WindowQuery& query);
// One line per top-level window of the process, hidden ones included: handle, class, caption,
// owner, visible or hidden, enabled or disabled. For failure messages.
std::string DescribeTopLevelWindows(DWORD processId);
// Waits until `process` shows a top-level window matching `query`; nullptr when `timeoutMs`
// passes or the process ends first.
HWND WaitForWindow(const Process& process, const WindowQuery& query,
                   DWORD timeoutMs = kDefaultTimeoutMs);
// Waits until `window` no longer exists or is hidden; true when it is gone.
bool WaitForWindowGone(HWND window, DWORD timeoutMs = kDefaultTimeoutMs);
// "" when `window` lies inside the work area of its monitor, or, larger than the area, has its
// top-left corner (and so its caption) there; otherwise where it lies, for a failure message.
std::string OutsideWorkArea(HWND window);

// ---------------------------------------------------------------------------------------------
// Reading windows and controls

// The window's text through WM_GETTEXT (a message with a time-out, so a hung program cannot
// hang the test). Empty when the window does not answer.
std::wstring WindowText(HWND window);
// The window's class name, e.g. L"Button", L"Edit", L"Static", L"#32770".
std::wstring WindowClass(HWND window);
// The control with identifier `id` of `parent`, or nullptr. Identifiers are compared as
// 16-bit values, so -1 and 0xFFFF name the same (static) control.
HWND Control(HWND parent, int id);
// The text of control `id` of `parent`; empty when there is no such control.
std::wstring ControlText(HWND parent, int id);
// GWL_STYLE and GWL_EXSTYLE.
DWORD Style(HWND window);
DWORD ExStyle(HWND window);
// Whether all of `bits` are set in the window's style.
bool HasStyle(HWND window, DWORD bits);
// The process and the thread that own `window`.
DWORD ProcessOf(HWND window);
DWORD ThreadOf(HWND window);

// What a test can see of one control.
struct ControlInfo {
    HWND window = nullptr;
    int id = 0; // 16-bit identifier: static controls give 0xFFFF
    std::wstring className;
    std::wstring text;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect = {}; // in the parent's client coordinates
    bool visible = false;
    bool enabled = false;
};

// Reads one control.
ControlInfo DescribeControl(HWND control);
// The direct children of `parent` in Z order, which for a dialog is the template's order.
std::vector<ControlInfo> Children(HWND parent);
// The texts of the visible text statics of `parent` (class "Static" without SS_ICON), in order.
std::vector<std::wstring> StaticTexts(HWND parent);

// Everything of a window that a person could see change: text, styles, place, size, state,
// and the same for each child. Two snapshots compare equal when nothing of that changed.
struct WindowSnapshot {
    std::wstring className;
    std::wstring text;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect = {}; // screen coordinates
    bool visible = false;
    bool enabled = false;
    std::vector<ControlInfo> children;
};
WindowSnapshot Snapshot(HWND window);
bool operator==(const WindowSnapshot& a, const WindowSnapshot& b);
inline bool operator!=(const WindowSnapshot& a, const WindowSnapshot& b) {
    return !(a == b);
}
// A readable multi-line description, for failure messages.
std::string Describe(const WindowSnapshot& snapshot);

// The window with the keyboard focus, and the active window, of the GUI thread that owns
// `anyWindowOfThread` (GetGUIThreadInfo); nullptr when there is none.
HWND FocusedWindow(HWND anyWindowOfThread);
HWND ActiveWindow(HWND anyWindowOfThread);

// ---------------------------------------------------------------------------------------------
// Acting as a person would. All of these post messages and return at once; wait for the
// effect with WaitUntil, WaitForWindow or WaitForWindowGone.

// Clicks `button` (posts BM_CLICK: the button takes the focus and notifies its parent as a
// mouse click does). False when `button` is not a window.
bool ClickButton(HWND button);
// Clicks the button with identifier `id` of `dialog`. False when there is no such control.
bool ClickDialogButton(HWND dialog, int id);
// Posts to `dialog` the WM_COMMAND (BN_CLICKED) that a click on its button `id` produces.
bool PostCommand(HWND dialog, int id);
// Posts a key press and release of virtual key `vk` to `target`, to be handled by the
// receiving thread's message loop (a dialog's modal loop routes Tab, Enter and Escape through
// the dialog manager, as for typed keys).
bool PostKey(HWND target, UINT vk);
// Types the key `vk` on the keyboard, as a person does, with `window` brought to the front: the
// system delivers it to whatever window has the focus when the program next reads its input.
bool TypeKey(HWND window, UINT vk);
// Posts Alt+F4 to `target`, the close command a person types.
bool PostAltF4(HWND target);
// Posts a key to the control that has the focus in the GUI thread of `anyWindowOfThread`
// (else to its active window, else to `anyWindowOfThread` itself).
bool PressKey(HWND anyWindowOfThread, UINT vk);
// Posts WM_SYSCOMMAND with `command` (e.g. 0x0010) to `window`.
bool PostSysCommand(HWND window, WPARAM command, LPARAM lParam = 0);

// ---------------------------------------------------------------------------------------------
// Message boxes

struct MessageBoxInfo {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::wstring caption;
    std::wstring text;                // the text static, identifier 0xFFFF
    std::vector<ControlInfo> buttons; // in Z order

    // Whether the box has a button with identifier `id` (IDOK, IDYES, IDNO, ...).
    bool HasButton(int id) const;
    // The identifiers of its buttons, in Z order.
    std::vector<int> ButtonIds() const;
};

// Reads the caption, the text and the buttons of a message box.
MessageBoxInfo ReadMessageBox(HWND box);
// Waits for a visible dialog-class window of `process` owned by `owner` (pass nullptr for an
// unowned box) that is not in `excluded`; nullptr on time-out or when the process ends.
HWND WaitForMessageBox(const Process& process, HWND owner, DWORD timeoutMs = kDefaultTimeoutMs,
                       const std::vector<HWND>& excluded = {});
// Presses the button `id` of the message box (IDOK, IDYES, IDNO, ...). False without it.
bool AnswerMessageBox(HWND box, int id);

// ---------------------------------------------------------------------------------------------
// Resources of a program file

// Resource types for ResourceFile, in the wide form its functions take (the usual RT_ names
// are narrow unless UNICODE is defined).
inline const LPCWSTR kDialogType = MAKEINTRESOURCEW(5);
inline const LPCWSTR kStringType = MAKEINTRESOURCEW(6);
inline const LPCWSTR kIconType = MAKEINTRESOURCEW(3);
inline const LPCWSTR kGroupIconType = MAKEINTRESOURCEW(14);
inline const LPCWSTR kVersionType = MAKEINTRESOURCEW(16);

// One control of a dialog template.
struct DialogTemplateItem {
    int id = 0;             // 16-bit identifier: static controls give 0xFFFF
    std::wstring className; // predefined classes by name: L"Button", L"Edit", L"Static", ...
    std::wstring text;      // empty when the title is a resource number
    std::optional<WORD> textOrdinal; // the resource number of an icon static, for instance
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0; // dialog units
};

// A dialog template, classic or extended.
struct DialogTemplate {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring caption;
    WORD pointSize = 0;
    WORD weight = 0;  // extended templates only
    BYTE italic = 0;  // extended templates only
    BYTE charSet = 0; // extended templates only
    std::wstring face;
    std::vector<DialogTemplateItem> items; // in creation order
};

// Reads a dialog template from its bytes; nullopt when they are not a well-formed template.
std::optional<DialogTemplate> ParseDialogTemplate(const std::string& bytes);

// A program file loaded as a data file (no code runs), to read its resources in a chosen
// language, independent of the test's own language. Release it (let it go out of scope)
// before the program itself may want to delete the file.
class ResourceFile {
public:
    explicit ResourceFile(const std::wstring& path);
    ~ResourceFile();
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;

    bool IsOpen() const { return m_module != nullptr; }
    // Whether a resource of `type` and `name` exists in exactly `language`.
    bool Has(LPCWSTR type, LPCWSTR name, LANGID language) const;
    // String `id` in exactly `language`, read from its string-table block; nullopt when the
    // block or the string is missing. Strings of any length come back whole.
    std::optional<std::wstring> String(UINT id, LANGID language) const;
    // The raw bytes of a resource in exactly `language`; empty when missing.
    std::string Bytes(LPCWSTR type, LPCWSTR name, LANGID language) const;
    // Dialog template `id` in exactly `language`; nullopt when missing or malformed.
    std::optional<DialogTemplate> Dialog(UINT id, LANGID language) const;

private:
    HMODULE m_module = nullptr;
};

} // namespace uidriver
