#include "run/LogRules.h"

namespace {
wchar_t Lower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Whether the `length` characters at `text` are `word` (ASCII, in any letter case).
bool SameWord(const wchar_t* text, size_t length, const char* word) {
    size_t i = 0;
    for (; i < length && word[i]; ++i)
        if (Lower(text[i]) != word[i])
            return false;
    return i == length && !word[i];
}

// Whether `name` (a path's last part) is a device's: its part before the first dot, trailing
// blanks aside, as Windows reads it: CON, NUL, COM1 to COM9 and LPT1 to LPT9 (a superscript
// digit too), ...
bool IsDeviceName(const wchar_t* name, size_t length) {
    size_t stem = 0;
    while (stem < length && name[stem] != L'.')
        ++stem;
    while (stem > 0 && name[stem - 1] == L' ')
        --stem;
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"})
        if (SameWord(name, stem, device))
            return true;
    const wchar_t digit = stem == 4 ? name[3] : 0;
    return (SameWord(name, 3, "com") || SameWord(name, 3, "lpt")) &&
           ((digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
            digit == L'\u00B3');
}
} // namespace

const char* RefusedLogName(const std::wstring& path) {
    // A path in the device namespace ("\\.\"), a character no file name holds (a wildcard among
    // them: "\\?\" paths are refused too), a colon but after a drive letter (a file's stream).
    const wchar_t* text = path.c_str();
    if (text[0] == L'\\' && text[1] == L'\\' && text[2] == L'.')
        return "a device";
    size_t name = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        const wchar_t c = text[i];
        if (c < 32 || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|' ||
            (c == L':' && i != 1))
            return "not a file name";
        if (c == L'\\' || c == L'/' || c == L':')
            name = i + 1;
    }
    const size_t length = path.size() - name;
    if (length == 0)
        return "not a file name";
    if (IsDeviceName(text + name, length))
        return "a device";
    // Setup's own names: a staged copy, a backup, an old file waiting for the restart, the
    // journal in each state, the lock.
    auto endsWith = [&](const char* end, size_t size) {
        return length >= size && SameWord(text + path.size() - size, size, end);
    };
    // An old file waiting for the restart: "~del" and a number from 1 to 99.
    size_t digits = 0;
    while (digits < 2 && digits < length && text[path.size() - 1 - digits] >= L'0' &&
           text[path.size() - 1 - digits] <= L'9')
        ++digits;
    const bool waiting = digits > 0 && text[path.size() - digits] != L'0' && length >= 4 + digits &&
                         SameWord(text + path.size() - 4 - digits, 4, "~del");
    if (endsWith("~new", 4) || endsWith("~old", 4) || waiting)
        return "one of Setup's own names";
    // The journal's names in the install base (upgrade/Journal) and the lock's in the Windows
    // folder are whole names.
    for (const char* whole :
         {"quillosetup.committing", "quillosetup.committed", "quillosetup.lock"})
        if (SameWord(text + name, length, whole))
            return "one of Setup's own names";
    return nullptr;
}

bool IsOlderLog(const std::vector<FoundLog>& found, std::size_t index, std::size_t kept) {
    auto own = [](const FoundLog& log) { return log.plainFile && log.setupsHeader; };
    std::size_t newer = 0;
    for (std::size_t i = 0; i < found.size(); ++i)
        if (own(found[i]) && (found[i].lastWrite > found[index].lastWrite ||
                              (found[i].lastWrite == found[index].lastWrite && i > index)))
            ++newer;
    return own(found[index]) && newer >= kept;
}
