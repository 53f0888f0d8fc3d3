#include "AfxFile.h"

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
