// Reading dialog templates (classic DLGTEMPLATE and extended DLGTEMPLATEEX) from their bytes.
#include "UiDriver.h"

namespace uidriver {

namespace {

// Reads little-endian fields in order; any read past the end marks the reader as failed.
class Reader {
public:
    explicit Reader(const std::string& bytes) : m_bytes(bytes) {}

    bool Failed() const { return m_failed; }

    WORD Word() {
        if (m_at + 2 > m_bytes.size()) {
            m_failed = true;
            return 0;
        }
        WORD value = static_cast<WORD>(static_cast<unsigned char>(m_bytes[m_at]) |
                                       (static_cast<unsigned char>(m_bytes[m_at + 1]) << 8));
        m_at += 2;
        return value;
    }

    DWORD Dword() {
        DWORD low = Word();
        DWORD high = Word();
        return low | (high << 16);
    }

    BYTE Byte() {
        if (m_at + 1 > m_bytes.size()) {
            m_failed = true;
            return 0;
        }
        return static_cast<BYTE>(m_bytes[m_at++]);
    }

    // A zero-terminated UTF-16 string.
    std::wstring Text() {
        std::wstring text;
        for (;;) {
            WORD unit = Word();
            if (m_failed || unit == 0)
                return text;
            text.push_back(static_cast<wchar_t>(unit));
        }
    }

    // A field that is empty (0), a number (0xFFFF then the number) or a string.
    void TextOrOrdinal(std::wstring* text, std::optional<WORD>* ordinal) {
        WORD first = Word();
        if (first == 0xFFFF) {
            *ordinal = Word();
            return;
        }
        if (first == 0)
            return;
        text->push_back(static_cast<wchar_t>(first));
        *text += Text();
    }

    void AlignToDword() { m_at = (m_at + 3) & ~static_cast<size_t>(3); }
    void Skip(size_t count) {
        m_at += count;
        if (m_at > m_bytes.size())
            m_failed = true;
    }

private:
    const std::string& m_bytes;
    size_t m_at = 0;
    bool m_failed = false;
};

// The names of the predefined control classes a template names by number.
std::wstring PredefinedClass(WORD ordinal) {
    switch (ordinal) {
    case 0x0080:
        return L"Button";
    case 0x0081:
        return L"Edit";
    case 0x0082:
        return L"Static";
    case 0x0083:
        return L"ListBox";
    case 0x0084:
        return L"ScrollBar";
    case 0x0085:
        return L"ComboBox";
    default:
        return L"#" + std::to_wstring(ordinal);
    }
}

} // namespace

std::optional<DialogTemplate> ParseDialogTemplate(const std::string& bytes) {
    Reader in(bytes);
    DialogTemplate dialog;
    WORD version = in.Word();
    WORD signature = in.Word();
    dialog.extended = version == 1 && signature == 0xFFFF;
    WORD count = 0;
    if (dialog.extended) {
        in.Dword(); // help id
        dialog.exStyle = in.Dword();
        dialog.style = in.Dword();
    } else {
        dialog.style = version | (static_cast<DWORD>(signature) << 16);
        dialog.exStyle = in.Dword();
    }
    count = in.Word();
    dialog.x = static_cast<short>(in.Word());
    dialog.y = static_cast<short>(in.Word());
    dialog.cx = static_cast<short>(in.Word());
    dialog.cy = static_cast<short>(in.Word());
    std::wstring menu, windowClass;
    std::optional<WORD> menuOrdinal, classOrdinal;
    in.TextOrOrdinal(&menu, &menuOrdinal);
    in.TextOrOrdinal(&windowClass, &classOrdinal);
    dialog.caption = in.Text();
    if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
        dialog.pointSize = in.Word();
        if (dialog.extended) {
            dialog.weight = in.Word();
            dialog.italic = in.Byte();
            dialog.charSet = in.Byte();
        }
        dialog.face = in.Text();
    }
    for (WORD i = 0; i < count && !in.Failed(); ++i) {
        in.AlignToDword();
        DialogTemplateItem item;
        if (dialog.extended) {
            in.Dword(); // help id
            item.exStyle = in.Dword();
            item.style = in.Dword();
        } else {
            item.style = in.Dword();
            item.exStyle = in.Dword();
        }
        item.x = static_cast<short>(in.Word());
        item.y = static_cast<short>(in.Word());
        item.cx = static_cast<short>(in.Word());
        item.cy = static_cast<short>(in.Word());
        item.id = dialog.extended ? static_cast<int>(in.Dword() & 0xFFFF) : in.Word();
        std::optional<WORD> itemClassOrdinal;
        in.TextOrOrdinal(&item.className, &itemClassOrdinal);
        if (itemClassOrdinal)
            item.className = PredefinedClass(*itemClassOrdinal);
        in.TextOrOrdinal(&item.text, &item.textOrdinal);
        WORD extra = in.Word();
        in.Skip(extra);
        dialog.items.push_back(item);
    }
    if (in.Failed())
        return std::nullopt;
    return dialog;
}

std::optional<DialogTemplate> ResourceFile::Dialog(UINT id, LANGID language) const {
    std::string bytes = Bytes(kDialogType, MAKEINTRESOURCEW(id), language);
    if (bytes.empty())
        return std::nullopt;
    return ParseDialogTemplate(bytes);
}

} // namespace uidriver
