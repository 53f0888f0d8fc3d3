#include "AfxFile.h"

std::wstring AfxModuleFileName(HMODULE module) {
    // The system cuts a path short silently: the buffer grows until the whole path fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring AfxShortPathOf(const std::wstring& path) {
    std::wstring shortPath(::GetShortPathNameW(path.c_str(), nullptr, 0), L'\0');
    shortPath.resize(
        ::GetShortPathNameW(path.c_str(), &shortPath[0], static_cast<DWORD>(shortPath.size())));
    return shortPath;
}

std::wstring AfxTemporaryFolder() {
    std::wstring folder(::GetTempPathW(0, nullptr), L'\0');
    folder.resize(::GetTempPathW(static_cast<DWORD>(folder.size()), &folder[0]));
    return folder;
}

bool FailWith(FileError* error, const CString& path, DWORD code) {
    if (error)
        *error = {path, code};
    return false;
}

CString SystemErrorText(DWORD code) {
    char* text = nullptr;
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                        FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    CString result;
    if (length > 0 && text) {
        // System texts end with a line break; the message box adds its own layout.
        while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n'))
            --length;
        result = CString(text, static_cast<int>(length));
    } else {
        char number[32];
        wsprintfA(number, "%lu", code);
        result = number;
    }
    if (text)
        ::LocalFree(text);
    return result;
}
