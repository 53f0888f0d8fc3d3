#include "AfxFile.h"

CString CFileException::ErrorText() const {
    char* text = nullptr;
    DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, m_lOsError, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    CString result;
    if (length > 0 && text) {
        // System texts end with a line break; the message box adds its own layout.
        while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n'))
            --length;
        result = CString(text, static_cast<int>(length));
    } else {
        char number[32];
        wsprintfA(number, "%lu", m_lOsError);
        result = number;
    }
    if (text)
        ::LocalFree(text);
    return result;
}

BOOL CFile::Open(const char* path, UINT flags, CFileException* error) {
    m_hFile.Reset();
    m_strFileName = path;

    DWORD access = 0;
    switch (flags & 3) {
    case modeRead:
        access = GENERIC_READ;
        break;
    case modeWrite:
        access = GENERIC_WRITE;
        break;
    default:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
    }
    DWORD share = 0;
    switch (flags & 0x70) {
    case shareDenyWrite:
        share = FILE_SHARE_READ;
        break;
    case shareDenyRead:
        share = FILE_SHARE_WRITE;
        break;
    case shareDenyNone:
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    default: // shareCompat and shareExclusive: exclusive use
        share = 0;
        break;
    }
    DWORD disposition = OPEN_EXISTING;
    if (flags & modeCreate)
        disposition = (flags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;

    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, (flags & modeNoInherit) ? FALSE : TRUE};
    HANDLE h = ::CreateFileA(path, access, share, &sa, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error)
            *error = CFileException(path, ::GetLastError());
        return FALSE;
    }
    m_hFile.Reset(h);
    return TRUE;
}

void CFile::Throw(DWORD error) const {
    throw CFileException(m_strFileName, error);
}

UINT CFile::Read(void* buffer, UINT count) {
    if (count == 0)
        return 0;
    DWORD read = 0;
    if (!::ReadFile(m_hFile.Get(), buffer, count, &read, nullptr))
        Throw(::GetLastError());
    return read;
}

unsigned long long CFile::GetLength() const {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(m_hFile.Get(), &size))
        Throw(::GetLastError());
    return static_cast<unsigned long long>(size.QuadPart);
}

void CFile::Close() {
    HANDLE h = m_hFile.Release();
    if (h != INVALID_HANDLE_VALUE && !::CloseHandle(h))
        Throw(::GetLastError());
}
