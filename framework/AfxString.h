// CString: 8-bit text in the system's code page, as the dialogs and file
// paths of the program use it.
#pragma once

#include <windows.h>
#include <string>

// Its members are never inlined: a CString is made, joined, moved and destroyed in very many
// places (every path, every Result), and one call each is far smaller than the string's own code
// inlined there.
#define AFX_CALLED [[gnu::noinline]]

class CString {
public:
    CString() = default;
    AFX_CALLED CString(const char* text) : m_text(text ? text : "") {}
    AFX_CALLED CString(const char* text, int length) : m_text(text, length) {}
    AFX_CALLED CString(const std::string& text) : m_text(text) {}
    AFX_CALLED CString(const CString& other) : m_text(other.m_text) {}
    AFX_CALLED CString(CString&& other) noexcept : m_text(std::move(other.m_text)) {}
    AFX_CALLED ~CString() {}
    AFX_CALLED CString& operator=(const CString& other) {
        m_text = other.m_text;
        return *this;
    }
    AFX_CALLED CString& operator=(CString&& other) noexcept {
        m_text.swap(other.m_text);
        return *this;
    }
    AFX_CALLED CString& operator=(const char* text) {
        m_text = text ? text : "";
        return *this;
    }

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    operator const char*() const { return m_text.c_str(); }
    const std::string& Str() const { return m_text; }

    // Loads string resource `id` of the program in the language the resource
    // loader picks, whole whatever its length; an absent string gives "" and false.
    BOOL LoadString(UINT id);

    AFX_CALLED CString& operator+=(const CString& other) {
        m_text += other.m_text;
        return *this;
    }
    AFX_CALLED CString& operator+=(const char* text) {
        m_text += text ? text : "";
        return *this;
    }
    AFX_CALLED friend CString operator+(const CString& a, const CString& b) { return Joined(a, b); }
    AFX_CALLED friend CString operator+(const CString& a, const char* b) { return Joined(a, b); }
    AFX_CALLED friend CString operator+(const char* a, const CString& b) { return Joined(a, b); }

private:
    static CString Joined(CString a, const CString& b) {
        a += b;
        return a;
    }

    std::string m_text;
};

// String resource `id` of the program in the language the resource loader picks, whole whatever
// its length, in UTF-16 ("" when absent).
std::wstring AfxLoadText(UINT id);
// `text`, 8-bit in code page `codePage`, as UTF-16.
std::wstring WideText(const std::string& text, UINT codePage = CP_ACP);
// How a code page's text spells a character the code page has no spelling for: by a look-alike,
// or not at all (the whole text is then "").
enum class Spelling { LookAlike, Exact };
// `length` characters of `text` in the 8-bit code page `codePage`.
std::string CodePageText(const wchar_t* text, int length, UINT codePage,
                         Spelling spelling = Spelling::LookAlike);
inline std::string CodePageText(const std::wstring& text, UINT codePage,
                                Spelling spelling = Spelling::LookAlike) {
    return CodePageText(text.c_str(), static_cast<int>(text.size()), codePage, spelling);
}
