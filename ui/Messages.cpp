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

int ShowMessage(HWND owner, const std::wstring& text, const char* caption, UINT type) {
    DiscardTypedInput();
    if (!owner || !::IsWindow(owner)) {
        // With no window of Setup's under it, the message comes to the front and stays above
        // other programs' windows (another Setup's licence, say) until it is answered. A
        // system-modal box is an application-modal one that is topmost; Wine, which ignores
        // MB_TOPMOST, honours this.
        owner = nullptr;
        type |= MB_SETFOREGROUND | MB_SYSTEMMODAL;
    }
    return ::MessageBoxW(owner, text.c_str(), WideText(caption ? caption : AfxGetAppName()).c_str(),
                         type);
}

std::wstring Filled(const std::wstring& format, std::initializer_list<std::wstring> fields) {
    std::wstring text = format;
    size_t from = 0;
    for (const std::wstring& field : fields) {
        const size_t at = text.find(L"%s", from);
        if (at == std::wstring::npos)
            break;
        text.replace(at, 2, field);
        from = at + field.size();
    }
    return text;
}

std::wstring ProgramNames(const std::vector<Holder>& holders, const wchar_t* separator) {
    return NamesForPerson(holders, separator, AfxLoadText(IDS_MORE_PROGRAMS));
}

bool ShowFileError(HWND owner, const Result& failure, const std::vector<Holder>& heldBy) {
    std::wstring format = AfxLoadText(IDS_FILE_ERROR);
    if (format.empty())
        format = L"%s: %s";
    std::wstring file = WideText(failure.path.Str());
    if (!heldBy.empty())
        file += L" (" + ProgramNames(heldBy, L", ") + L")";
    const std::wstring text = Filled(format, {file, WideText(SystemErrorText(failure.code).Str())});
    return ShowMessage(owner, text, nullptr, MB_OK | MB_ICONERROR) != 0;
}
