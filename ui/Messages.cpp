#include "ui/Messages.h"

#include "framework/AfxApp.h"
#include "res/resource.h"

namespace {
void DiscardTypedInput() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) ||
           ::PeekMessageA(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE) ||
           ::PeekMessageA(&message, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
}
} // namespace

int ShowMessage(HWND owner, const char* text, const char* caption, UINT type) {
    DiscardTypedInput();
    if (!owner || !::IsWindow(owner)) {
        // With no window of Setup's under it, the message comes to the front and stays above
        // other programs' windows (another Setup's licence, say) until it is answered. A
        // system-modal box is an application-modal one that is topmost; Wine, which ignores
        // MB_TOPMOST, honours this.
        owner = nullptr;
        type |= MB_SETFOREGROUND | MB_SYSTEMMODAL;
    }
    return ::MessageBoxA(owner, text, caption ? caption : AfxGetAppName(), type);
}

bool ShowFileError(HWND owner, const Result& failure) {
    CString format;
    if (!format.LoadString(IDS_FILE_ERROR))
        format = "%s: %s";
    // A path of at most 259 characters and the system's reason fit wsprintfA's 1024 bytes.
    char text[1025];
    wsprintfA(text, format, static_cast<const char*>(failure.path),
              static_cast<const char*>(SystemErrorText(failure.code)));
    return ShowMessage(owner, text, nullptr, MB_OK | MB_ICONERROR) != 0;
}
