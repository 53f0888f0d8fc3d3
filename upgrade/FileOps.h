// The file operations the upgrade and the self-removal share: probing a path, waiting out a
// program that holds a file, deleting with retries, reading a whole file, and making a new file
// that takes an installed file's place with that file's attributes, creation time and access
// rules, as replacing a file in place keeps them.
#pragma once

#include "framework/AfxFile.h"
#include "upgrade/PathRules.h"

#include <string>

// Whether `byte` is a lead byte in the system's 8-bit code page.
bool IsSystemLeadByte(unsigned char byte);
// The folder of `path` (before its last separator), in the system's code page.
CString FolderOf(const CString& path);
// Whether the 8-bit file functions take `path` whole.
bool FitsFileFunctions(const CString& path);

// How often, and how far apart, an operation is tried while another program holds a file: a
// program asked to quit may still be closing its files, a virus scanner may glance at a new one.
constexpr int kFileAttempts = 8;
constexpr DWORD kFileRetryMs = 250;

// Runs `attempt` until it returns true, at most `attempts` times, kFileRetryMs apart.
template <typename Attempt> bool Retry(int attempts, Attempt attempt) {
    for (int tries = 1;; ++tries) {
        if (attempt())
            return true;
        if (tries >= attempts)
            return false;
        ::Sleep(kFileRetryMs);
    }
}

// What the system says about `path`.
FileProbe ProbeFile(const CString& path);

// Opens `path` for writing and deleting without sharing: what replacing or deleting it needs.
// The handle is empty when another program holds the file, or it cannot be opened at all.
FileHandle OpenExclusively(const CString& path);

// Deletes `path`, retrying while something holds it. True when it no longer exists.
bool DeleteWithRetries(const CString& path, int attempts = kFileAttempts);

// The whole content of an open file. A short read is an error: CFileException.
std::string ReadWholeFile(CFile& file);

// A file being made beside an installed one. It is deleted again unless Finish succeeds. An
// error of the file system (a full disk, say) raises CFileException naming the file.
class NewFile {
public:
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile();

    // Creates `path`; false when something of that name exists already.
    bool Create(const CString& path);
    // Appends `size` bytes; a short write is an error.
    void Write(const void* data, DWORD size);
    // Gives the file the last-write time `lastWrite` (unless null) and, when `like` names an
    // existing file, that file's attributes, creation time and access rules; writes it through
    // to the disk and closes it.
    void Finish(const FILETIME* lastWrite, const CString& like);

private:
    FileHandle m_file;
    CString m_path;
    bool m_finished = false;
};

// Copies `source` to the new file `target` as NewFile makes it, with the source's last-write
// time. False when `target` exists already; a read error, or fewer bytes than the source held,
// raises CFileException naming the source.
bool CopyToNewFile(const CString& source, const CString& target, const CString& like);

// The 8-bit form of a full path in the system's code page that the 8-bit file functions take:
// the path itself when the code page can spell it and it fits, else its short form when that
// can and does, else "".
CString AnsiPathOf(const std::wstring& path);
