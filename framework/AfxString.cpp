#include "AfxString.h"

std::wstring WideText(const std::string& text, UINT codePage) {
    int length =
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                              length);
    return wide;
}

std::string CodePageText(const wchar_t* text, int length, UINT codePage, Spelling spelling) {
    // The code page's best-fit substitutes would name another file: an exact conversion takes
    // none and tells when a character has no spelling.
    const bool checked = spelling == Spelling::Exact && codePage != CP_UTF8 && codePage != CP_UTF7;
    const DWORD flags = checked ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL lossy = FALSE;
    BOOL* lossyFlag = checked ? &lossy : nullptr;
    int size = ::WideCharToMultiByte(codePage, flags, text, length, nullptr, 0, nullptr, lossyFlag);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(codePage, flags, text, length, &bytes[0], size, nullptr, lossyFlag);
    return lossy ? std::string() : bytes;
}

std::wstring AfxLoadText(UINT id) {
    // LoadStringW with a zero buffer length hands out the resource's own text and its length, so
    // no string is ever cut at a buffer size.
    const wchar_t* text = nullptr;
    const int length =
        ::LoadStringW(::GetModuleHandleA(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, length) : std::wstring();
}

BOOL CString::LoadString(UINT id) {
    const std::wstring wide = AfxLoadText(id);
    m_text = CodePageText(wide, CP_ACP);
    return !wide.empty();
}
