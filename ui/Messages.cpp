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

std::string Filled(const char* format, std::initializer_list<std::string> fields) {
    std::string text = format;
    size_t from = 0;
    for (const std::string& field : fields) {
        const size_t at = text.find("%s", from);
        if (at == std::string::npos)
            break;
        text.replace(at, 2, field);
        from = at + field.size();
    }
    return text;
}

bool ShowFileError(HWND owner, const Result& failure, const std::wstring& heldBy) {
    CString format;
    if (!format.LoadString(IDS_FILE_ERROR))
        format = "%s: %s";
    std::string file = failure.path.Str();
    if (!heldBy.empty())
        file += " (" + CodePageText(heldBy, CP_ACP) + ")";
    const std::string text = Filled(format, {file, SystemErrorText(failure.code).Str()});
    return ShowMessage(owner, text.c_str(), nullptr, MB_OK | MB_ICONERROR) != 0;
}
