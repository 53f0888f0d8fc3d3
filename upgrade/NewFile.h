// Making a new file that takes an installed file's place with that file's attributes, creation
// time and access rules, as replacing a file in place keeps them: written, then put on the disk
// (flushed), never through a link. Each failing operation says which file and the system's error
// code.
#pragma once

#include "framework/AfxFile.h"
#include "framework/Handles.h"
#include "upgrade/PayloadDigests.h"

#include <string_view>

// A file being made beside an installed one. It is deleted again unless Finish succeeds.
class NewFile {
public:
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile();

    // Creates `path`; fails (ERROR_FILE_EXISTS) when something of that name exists already.
    Result Create(const CString& path);
    // Appends `size` bytes; a short write is an error.
    Result Write(const void* data, DWORD size);
    // Gives the file the last-write time `lastWrite` (unless null) and, when `like` names an
    // existing file, that file's attributes, creation time and access rules; writes it through
    // to the disk and closes it, or hands its handle (which may rename it) to `keep`.
    Result Finish(const FILETIME* lastWrite, const CString& like, FileHandle* keep = nullptr);
    // Finish on a thread of its own (here when none can be started), so that the caller goes on
    // while the bytes go to the disk.
    void FinishLater(const FILETIME& lastWrite, const CString& like);
    // Waits for FinishLater and gives its outcome; a file not finished is deleted.
    Result Wait();

private:
    static DWORD WINAPI FinishThread(void* file);

    FileHandle m_file;
    CString m_path;
    bool m_finished = false;
    KernelHandle m_finishing;
    FILETIME m_lastWrite;
    CString m_like;
    Result m_outcome;
};

// Makes the new file `path` with `bytes`, as NewFile makes it (its attributes `like`'s); its handle
// goes to `keep` when given.
Result WriteNewFile(const CString& path, std::string_view bytes, const CString& like,
                    FileHandle* keep = nullptr);

// Copies `source` to the new file `target` as NewFile makes it, with the source's last-write
// time. Fewer bytes than the source held is an error naming the source. With `expected`, the
// bytes copied must be exactly that file: their size and SHA-256, taken from the very bytes
// written, else the source is reported damaged (ERROR_FILE_CORRUPT). `out` makes the file and
// finishes it later (FinishLater): out->Wait() gives the outcome.
Result CopyToNewFile(const CString& source, const CString& target, const CString& like,
                     const PayloadDigest* expected, NewFile* out);
