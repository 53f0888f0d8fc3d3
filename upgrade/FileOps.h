// The file operations on files that exist, which the upgrade and the self-removal share: probing a
// path, opening a plain file (never through a link), holding an installed file while it is
// replaced, renaming and deleting while another program may glance at a file, reading a whole
// file. Making new files is NewFile's. Each failing operation says which file and the system's
// error code.
#pragma once

#include "framework/AfxFile.h"
#include "framework/Handles.h"
#include "upgrade/PathRules.h"

#include <string>
#include <string_view>

// The folder of `path` (before its last separator), in the system's code page.
CString FolderOf(const CString& path);
// Whether the 8-bit file functions take `path` whole.
[[nodiscard]] bool FitsFileFunctions(const CString& path);

// Opens the file or folder at `path` with `access` to look at it, whoever holds it (sharing
// everything with every other opener); `flags` may add FILE_FLAG_OPEN_REPARSE_POINT, so that a
// link is opened itself rather than what it leads to. Empty when it cannot be opened.
FileHandle OpenToLookAt(const std::wstring& path, DWORD access, DWORD flags = 0);

// Which file or folder the file system sees: its volume and its number there. A link opened
// itself (FILE_FLAG_OPEN_REPARSE_POINT) has an identity of its own, not that of what it leads to.
struct FileIdentity {
    DWORD volume, indexHigh, indexLow;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
    }
};
// The identity of the open `file`; false when the system does not tell.
[[nodiscard]] bool IdentityOf(HANDLE file, FileIdentity* identity);

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
// absent counts as deleted. With `folder` (an open folder), only a file that lies in that very
// folder as the file system names both at the moment of deletion: a path that leads elsewhere
// (the folder renamed away, a link put in its place) fails with ERROR_CANT_RESOLVE_FILENAME.
constexpr int kFileAttempts = 8;
constexpr int kTryOnce = 1;
Result RemoveFile(const CString& path, int attempts = kFileAttempts, HANDLE folder = nullptr);

// Has Windows delete the plain file `path` at the next restart (which needs administrator rights).
Result DeleteAtRestart(const CString& path);

// The size of the pieces files are read and copied in. Copies of 50 MiB files in pieces of 512 KiB
// or more stalled now and then, at up to five times the usual time, on Linux's file cache (under
// Wine, and natively as well); in pieces of 256 KiB they ran at full speed every time.
constexpr DWORD kCopyChunk = 1 << 18;
// Reads exactly `size` bytes of the open file `file` (named `path`) into `buffer`.
Result ReadExactly(HANDLE file, const CString& path, char* buffer, size_t size);
// The whole content of the open file `file` (named `path`) from its start, of at most `limit`
// bytes.
Result ReadAll(HANDLE file, const CString& path, size_t limit, std::string* bytes);
// The whole content of the file at `path`, of at most `limit` bytes.
Result ReadWholeFile(const CString& path, size_t limit, std::string* bytes);

// The 8-bit form of a full path in the system's code page that the 8-bit file functions take:
// the path itself when the code page can spell it and it fits, else its short form when that
// can and does, else "".
CString AnsiPathOf(const std::wstring& path);
// `folder`, or its short form when it has more than `longest` characters; "" when neither fits.
std::wstring FolderWithinLength(const std::wstring& folder, size_t longest);
