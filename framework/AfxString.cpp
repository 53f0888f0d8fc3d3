#include "AfxString.h"

#include "AfxApp.h"

BOOL CString::LoadString(UINT id) {
    // LoadStringW with a zero buffer length hands out the resource's own text
    // and its length, so no string is ever cut at a buffer size.
    const wchar_t* wide = nullptr;
    int wideLength = ::LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&wide), 0);
    if (wideLength <= 0 || wide == nullptr) {
        m_text.clear();
        return FALSE;
    }
    int length = ::WideCharToMultiByte(CP_ACP, 0, wide, wideLength, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide, wideLength, &text[0], length, nullptr, nullptr);
    m_text = std::move(text);
    return TRUE;
}

CString CString::Left(int count) const {
    if (count < 0)
        count = 0;
    return CString(m_text.substr(0, static_cast<size_t>(count)));
}
