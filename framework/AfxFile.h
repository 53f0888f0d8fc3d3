// CFile: a file handle whose read and close errors raise a CFileException
// carrying the file's path and the system's error code.
#pragma once

#include "AfxString.h"
#include "Handles.h"

#include <exception>

class CFileException : public std::exception {
public:
    CFileException(const CString& fileName, DWORD osError)
        : m_strFileName(fileName), m_lOsError(osError) {}
    const char* what() const noexcept override { return "file error"; }
    // The system's own description of the error, in the user's language.
    CString ErrorText() const;

    CString m_strFileName;
    DWORD m_lOsError;
};

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000, // exclusive use, as shareExclusive
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
    };

    CFile() = default;
    ~CFile() = default; // an open file is closed without raising
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens `path`; false when it cannot be opened (the error goes to `error` when given).
    BOOL Open(const char* path, UINT flags, CFileException* error = nullptr);
    UINT Read(void* buffer, UINT count);
    unsigned long long GetLength() const;
    void Close();

    bool IsOpen() const { return m_hFile.IsValid(); }
    const CString& GetFilePath() const { return m_strFileName; }

protected:
    [[noreturn]] void Throw(DWORD error) const;

    FileHandle m_hFile;
    CString m_strFileName;
};
