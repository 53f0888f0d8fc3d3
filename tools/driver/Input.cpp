// Acting on the program under test as a person would: clicks, keys and system commands, all
// posted so that the program handles them in its own message loop.
#include "UiDriver.h"

namespace uidriver {

namespace {

// The second parameter of WM_KEYDOWN / WM_KEYUP for one press of `vk`: repeat count 1, the
// key's scan code, and for the release the previous-state and transition bits.
LPARAM KeyParameter(UINT vk, bool release) {
    UINT scanCode = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    LPARAM value = 1 | (static_cast<LPARAM>(scanCode & 0xFF) << 16);
    if (release)
        value |= (1L << 30) | static_cast<LPARAM>(1UL << 31);
    return value;
}

} // namespace

bool ClickButton(HWND button) {
    return ::IsWindow(button) && ::PostMessageW(button, BM_CLICK, 0, 0);
}

bool ClickDialogButton(HWND dialog, int id) {
    HWND button = Control(dialog, id);
    return button && ClickButton(button);
}

bool PostCommand(HWND dialog, int id) {
    HWND button = Control(dialog, id);
    if (!button)
        return false;
    return ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id & 0xFFFF, BN_CLICKED),
                          reinterpret_cast<LPARAM>(button));
}

bool PostKey(HWND target, UINT vk) {
    if (!::IsWindow(target))
        return false;
    return ::PostMessageW(target, WM_KEYDOWN, vk, KeyParameter(vk, false)) &&
           ::PostMessageW(target, WM_KEYUP, vk, KeyParameter(vk, true));
}

bool TypeKey(HWND window, UINT vk) {
    if (!::IsWindow(window))
        return false;
    ::SetForegroundWindow(window);
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = static_cast<WORD>(vk);
        key.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return ::SendInput(2, keys, sizeof(INPUT)) == 2;
}

bool PostAltF4(HWND target) {
    if (!::IsWindow(target))
        return false;
    // The context bit (29) says Alt is held, which makes F4 a close command.
    const LPARAM alt = 1L << 29;
    return ::PostMessageW(target, WM_SYSKEYDOWN, VK_F4, KeyParameter(VK_F4, false) | alt) &&
           ::PostMessageW(target, WM_SYSKEYUP, VK_F4, KeyParameter(VK_F4, true) | alt);
}

bool PressKey(HWND anyWindowOfThread, UINT vk) {
    HWND target = FocusedWindow(anyWindowOfThread);
    if (!target)
        target = ActiveWindow(anyWindowOfThread);
    if (!target)
        target = anyWindowOfThread;
    return PostKey(target, vk);
}

bool PostSysCommand(HWND window, WPARAM command, LPARAM lParam) {
    return ::IsWindow(window) && ::PostMessageW(window, WM_SYSCOMMAND, command, lParam);
}

bool AnswerMessageBox(HWND box, int id) {
    return ClickDialogButton(box, id);
}

} // namespace uidriver
