// The file operations the upgrade and the self-removal share: probing a path, holding an installed
// file while it is replaced, renaming and deleting while another program may glance at a file,
// reading a whole file, and making a new file that takes an installed file's place with that
// file's attributes, creation time and access rules, as replacing a file in place keeps them.
// Each failing operation says which file and the system's error code.
#pragma once

#include "framework/AfxFile.h"
#include "framework/Handles.h"
#include "upgrade/PathRules.h"
#include "upgrade/PayloadDigests.h"

#include <string>
#include <string_view>

// The folder of `path` (before its last separator), in the system's code page.
CString FolderOf(const CString& path);
// Whether the 8-bit file functions take `path` whole.
[[nodiscard]] bool FitsFileFunctions(const CString& path);

// Whether `path` is the folder `folder` or lies below it, as the file system sees them: the same
// folder under any spelling (letter case, short names, a link to it) counts.
[[nodiscard]] bool LiesWithin(const CString& path, const CString& folder);

// What the system says about `path`.
FileProbe ProbeFile(const CString& path);

// Opens `path` itself, never what a link there leads to, with `access` and `share`. It must be a
// plain file of that very name: a folder fails with ERROR_DIRECTORY; a reparse point (a link, a
// junction, a mount point), or a file reached through one, with ERROR_CANT_RESOLVE_FILENAME. (Wine
// shows a symbolic link made on the Linux side as the file it leads to, and acts on that file:
// only the name the file system gives the open file tells.)
Result OpenPlainFile(const CString& path, DWORD access, DWORD share, FileHandle* file);
// Every operation below that renames, deletes or replaces a file opens it so.
// Whether `failure` is OpenPlainFile's refusal of something that is not a plain file.
[[nodiscard]] inline bool NotAPlainFile(const Result& failure) {
    return failure.code == ERROR_DIRECTORY || failure.code == ERROR_CANT_RESOLVE_FILENAME;
}
// Whether `path` is absent or a plain file (OpenPlainFile's failure otherwise).
Result CheckPlainFile(const CString& path);

// Opens an installed file for reading and replacing it, without sharing: no other program opens
// it until this handle renames it away or is closed. Waits a while for a program that holds it.
// A read-only file is opened without the right to write, which the system refuses for it. A file
// that a running program was started from is held for renaming alone, sharing only reading.
Result HoldFile(const CString& path, FileHandle* held);
// Gives the file behind `held` the name `newPath`, which must not exist.
Result RenameHeld(const FileHandle& held, const CString& newPath);
// Renames `from` to `to`, which must not exist, retrying while another program holds `from`.
Result RenameFile(const CString& from, const CString& to);
// Opens the plain file `path` (as OpenPlainFile) to rename or delete it, sharing with every other
// opener, waiting a while for a program that holds it: from then on no other program can open it
// so that renaming or deleting it through `file` fails. An absent file leaves `file` empty.
Result OpenToRemove(const CString& path, FileHandle* file);
// Deletes the file behind `file`, opened to remove it and named `path`, read-only or not; the
// name goes once the handle is closed.
Result DeleteHeld(const FileHandle& file, const CString& path);
// Deletes `path`, read-only or not, retrying while another program holds it (`attempts` times,
// a quarter of a second apart; kFileAttempts: as often as for any file operation). A file that is
// absent counts as deleted.
constexpr int kFileAttempts = 8;
constexpr int kTryOnce = 1;
Result RemoveFile(const CString& path, int attempts = kFileAttempts);

// Has Windows delete the plain file `path` at the next restart (which needs administrator rights).
Result DeleteAtRestart(const CString& path);

// Reads exactly `size` bytes of the open file `file` (named `path`) into `buffer`.
Result ReadExactly(HANDLE file, const CString& path, char* buffer, size_t size);
// The whole content of the file at `path`, of at most `limit` bytes.
Result ReadWholeFile(const CString& path, size_t limit, std::string* bytes);

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
    // to the disk and closes it.
    Result Finish(const FILETIME* lastWrite, const CString& like);
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

// Makes the new file `path` with `bytes`, as NewFile makes it (its attributes `like`'s).
Result WriteNewFile(const CString& path, std::string_view bytes, const CString& like);

// Copies `source` to the new file `target` as NewFile makes it, with the source's last-write
// time. Fewer bytes than the source held is an error naming the source. With `expected`, the
// bytes copied must be exactly that file: their size and SHA-256, taken from the very bytes
// written, else the source is reported damaged (ERROR_FILE_CORRUPT). `out` makes the file and
// finishes it later (FinishLater): out->Wait() gives the outcome.
Result CopyToNewFile(const CString& source, const CString& target, const CString& like,
                     const PayloadDigest* expected, NewFile* out);

// The 8-bit form of a full path in the system's code page that the 8-bit file functions take:
// the path itself when the code page can spell it and it fits, else its short form when that
// can and does, else "".
CString AnsiPathOf(const std::wstring& path);
