#include "static_text_fit.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace textfit {

namespace {

// A copy of the template without WS_VISIBLE: measuring needs no window on the screen. The style
// is the first field of a classic template and follows version, signature, help id and extended
// style in an extended one.
std::string Hidden(std::string bytes) {
    bool extended = bytes.size() >= 4 && bytes[0] == 1 && bytes[1] == 0 &&
                    static_cast<unsigned char>(bytes[2]) == 0xFF &&
                    static_cast<unsigned char>(bytes[3]) == 0xFF;
    size_t at = extended ? 12 : 0;
    if (bytes.size() < at + sizeof(DWORD))
        return bytes;
    DWORD style;
    std::memcpy(&style, &bytes[at], sizeof style);
    style &= ~static_cast<DWORD>(WS_VISIBLE);
    std::memcpy(&bytes[at], &style, sizeof style);
    return bytes;
}

INT_PTR CALLBACK NoHandlers(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// A dialog made from a template, destroyed (with the font the dialog manager made for it) when
// this goes.
class MadeDialog {
public:
    explicit MadeDialog(const std::string& templateBytes) {
        // Template 129 holds an animation control, whose class the common controls register.
        INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_ANIMATE_CLASS};
        ::InitCommonControlsEx(&classes);
        std::string hidden = Hidden(templateBytes);
        m_window = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                                reinterpret_cast<LPCDLGTEMPLATEW>(hidden.data()),
                                                nullptr, NoHandlers, 0);
    }
    ~MadeDialog() {
        if (m_window)
            ::DestroyWindow(m_window);
    }
    MadeDialog(const MadeDialog&) = delete;
    MadeDialog& operator=(const MadeDialog&) = delete;

    HWND Window() const { return m_window; }

private:
    HWND m_window = nullptr;
};

SIZE DialogUnitsToPixels(HWND dialog, int cx, int cy) {
    RECT rect = {0, 0, cx, cy};
    ::MapDialogRect(dialog, &rect);
    return {rect.right, rect.bottom};
}

} // namespace

int ProcessDpi() {
    HDC screen = ::GetDC(nullptr);
    int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}

std::optional<UINT> StaticTextFormat(DWORD style) {
    UINT format = DT_EXPANDTABS;
    switch (style & SS_TYPEMASK) {
    case SS_LEFT:
        format |= DT_LEFT | DT_WORDBREAK;
        break;
    case SS_CENTER:
        format |= DT_CENTER | DT_WORDBREAK;
        break;
    case SS_RIGHT:
        format |= DT_RIGHT | DT_WORDBREAK;
        break;
    case SS_LEFTNOWORDWRAP:
        format |= DT_LEFT;
        break;
    case SS_SIMPLE:
        format = DT_LEFT | DT_SINGLELINE;
        break;
    default:
        return std::nullopt;
    }
    if (style & SS_NOPREFIX)
        format |= DT_NOPREFIX;
    if (style & SS_EDITCONTROL)
        format |= DT_EDITCONTROL;
    return format;
}

bool IsTextStatic(const uidriver::DialogTemplateItem& control) {
    return control.className == L"Static" && !control.textOrdinal &&
           StaticTextFormat(control.style);
}

std::optional<StaticTextFit> MeasureStatic(const std::string& templateBytes, size_t item) {
    std::optional<uidriver::DialogTemplate> parsed = uidriver::ParseDialogTemplate(templateBytes);
    if (!parsed || item >= parsed->items.size()) {
        ADD_FAILURE() << "no control " << item << " in the template";
        return std::nullopt;
    }
    const uidriver::DialogTemplateItem& control = parsed->items[item];
    if (!IsTextStatic(control)) {
        ADD_FAILURE() << "control " << item << " is not a text static";
        return std::nullopt;
    }
    MadeDialog dialog(templateBytes);
    if (!dialog.Window()) {
        ADD_FAILURE() << "the dialog manager made no dialog of the template: error "
                      << ::GetLastError();
        return std::nullopt;
    }
    // The children are in creation order, statics included (they all have the same id).
    std::vector<uidriver::ControlInfo> children = uidriver::Children(dialog.Window());
    if (item >= children.size()) {
        ADD_FAILURE() << "the dialog has " << children.size() << " controls";
        return std::nullopt;
    }
    HWND window = children[item].window;

    StaticTextFit fit;
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
    ::GetObjectW(font, sizeof fit.font, &fit.font);
    RECT client = {};
    ::GetClientRect(window, &client);
    fit.clientArea = {client.right, client.bottom};
    fit.baseUnits = DialogUnitsToPixels(dialog.Window(), 4, 8);
    fit.control = DialogUnitsToPixels(dialog.Window(), control.cx, control.cy);

    HDC dc = ::GetDC(window);
    HGDIOBJ previous = ::SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    ::GetTextFaceW(dc, LF_FACESIZE, face);
    fit.faceUsed = face;
    TEXTMETRICW metrics = {};
    ::GetTextMetricsW(dc, &metrics);
    fit.lineHeight = metrics.tmHeight;
    // DT_CALCRECT keeps the width and grows the height for the lines the text wraps into; a
    // word wider than the control is not broken but widens the rectangle.
    RECT text = {0, 0, fit.control.cx, 0};
    ::DrawTextW(dc, control.text.c_str(), -1, &text,
                DT_CALCRECT | *StaticTextFormat(control.style));
    fit.text = {text.right, text.bottom};
    ::SelectObject(dc, previous);
    ::ReleaseDC(window, dc);
    return fit;
}

} // namespace textfit
