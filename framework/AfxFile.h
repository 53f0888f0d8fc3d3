// What a step that can fail returns, and the file helpers the program needs of the system.
#pragma once

#include "AfxString.h"
#include "Handles.h"

// Success, or what failed (a file, a folder, a system library) and the system's error code. Every
// step that can fail returns one; the one place that decides the outcome reads it and, when it
// tells the user, shows both. A failure always carries a code other than ERROR_SUCCESS (running
// out of memory is ERROR_NOT_ENOUGH_MEMORY).
struct [[nodiscard]] Result {
    CString path;
    DWORD code = ERROR_SUCCESS;

    bool Ok() const { return code == ERROR_SUCCESS; }
    explicit operator bool() const { return Ok(); }
};

// The failure of `path` with the system's error `code`.
Result Failed(const CString& path, DWORD code);
// The failure of `path` with the calling thread's last error.
Result LastError(const CString& path);

// The system's own description of error `code`, in the user's language; the number when the
// system has none.
CString SystemErrorText(DWORD code);

// Makes the new file `path` and opens it with `access` and `share`. Anything under that name
// already (a file, a folder, a link, which is never followed) fails the creation.
Result AfxCreateNewFile(const std::wstring& path, DWORD access, DWORD share, FileHandle* file);

// The full path of `module` (nullptr: the program's own file), whole however long; "" when the
// system gives none.
std::wstring AfxModuleFileName(HMODULE module);
// The short (8.3) form of `path`; "" when it has none.
std::wstring AfxShortPathOf(const std::wstring& path);
// The temporary folder with its final separator (for SYSTEM, one only SYSTEM may write, where
// Windows has it); "" when there is none.
std::wstring AfxTemporaryFolder();
