// CString: 8-bit text in the system's code page, as the dialogs and file
// paths of the program use it.
#pragma once

#include <windows.h>
#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text ? text : "") {}
    CString(const char* text, int length) : m_text(text, length) {}
    CString(const std::string& text) : m_text(text) {}

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    operator const char*() const { return m_text.c_str(); }
    const std::string& Str() const { return m_text; }

    // Loads string resource `id` of the program in the language the resource
    // loader picks, whole whatever its length; an absent string gives "" and false.
    BOOL LoadString(UINT id);

    CString& operator=(const char* text) {
        m_text = text ? text : "";
        return *this;
    }
    CString& operator+=(const CString& other) {
        m_text += other.m_text;
        return *this;
    }
    CString& operator+=(const char* text) {
        m_text += text ? text : "";
        return *this;
    }
    CString& operator+=(char c) {
        m_text += c;
        return *this;
    }
    friend CString operator+(CString a, const CString& b) { return a += b; }
    friend CString operator+(CString a, const char* b) { return a += b; }
    friend CString operator+(const char* a, const CString& b) { return CString(a) += b; }

private:
    std::string m_text;
};

// `text`, 8-bit in code page `codePage`, as UTF-16.
std::wstring WideText(const std::string& text, UINT codePage = CP_ACP);
// `length` characters of `text` in the 8-bit code page `codePage`. With `exact`, "" when the code
// page cannot spell every character.
std::string CodePageText(const wchar_t* text, int length, UINT codePage, bool exact = false);
inline std::string CodePageText(const std::wstring& text, UINT codePage, bool exact = false) {
    return CodePageText(text.c_str(), static_cast<int>(text.size()), codePage, exact);
}
