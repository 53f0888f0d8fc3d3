// CFile: a file handle whose read, write, seek and close errors raise a
// CFileException carrying the file's path and the system's error code.
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

struct CFileStatus {
    long long m_mtime = 0; // last modification, whole seconds since 1601 (UTC)
    unsigned long long m_size = 0;
    DWORD m_attribute = 0;
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
    enum SeekPosition { begin = FILE_BEGIN, current = FILE_CURRENT, end = FILE_END };

    CFile() = default;
    virtual ~CFile() = default; // an open file is closed without raising
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens `path`; false when it cannot be opened (the error goes to `error` when given).
    virtual BOOL Open(const char* path, UINT flags, CFileException* error = nullptr);
    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    virtual unsigned long long Seek(long long offset, UINT from);
    virtual unsigned long long GetLength() const;
    virtual void Flush();
    virtual void Close();
    // Cuts the file (or extends it) to `length` bytes.
    virtual void SetLength(unsigned long long length);

    bool IsOpen() const { return m_hFile.IsValid(); }
    HANDLE GetHandle() const { return m_hFile.Get(); }
    const CString& GetFilePath() const { return m_strFileName; }

    static BOOL GetStatus(const char* path, CFileStatus& status);

protected:
    [[noreturn]] void Throw(DWORD error) const;

    FileHandle m_hFile;
    CString m_strFileName;
};
