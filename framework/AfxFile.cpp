#include "AfxFile.h"

#include "AfxApp.h"

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
    // For the SYSTEM account GetTempPath2 gives Windows' own SystemTemp, which SYSTEM alone may
    // write; for any other account it is GetTempPath. Windows before 11 (and Wine 8) lack it.
    using TempPathFn = DWORD(WINAPI*)(DWORD, LPWSTR);
    auto tempPath = AfxFunction<TempPathFn>("kernel32.dll", "GetTempPath2W");
    if (!tempPath)
        tempPath = ::GetTempPathW;
    std::wstring folder(tempPath(0, nullptr), L'\0');
    folder.resize(tempPath(static_cast<DWORD>(folder.size()), &folder[0]));
    return folder;
}

Result AfxCreateNewFile(const std::wstring& path, DWORD access, DWORD share, FileHandle* file) {
    file->Reset(::CreateFileW(path.c_str(), access, share, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return *file ? Result() : LastError(CodePageText(path, CP_ACP));
}

Result Failed(const CString& path, DWORD code) {
    return {path, code == ERROR_SUCCESS ? ERROR_GEN_FAILURE : code};
}

Result LastError(const CString& path) {
    return Failed(path, ::GetLastError());
}

CString SystemErrorText(DWORD code) {
    char text[512];
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, code, 0, text, sizeof text, nullptr);
    if (length == 0)
        length = static_cast<DWORD>(wsprintfA(text, "%lu", code));
    // System texts end with a line break; the message box adds its own layout.
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n'))
        --length;
    return CString(text, static_cast<int>(length));
}
