// A file operation that failed: which file, and the system's error code. Failing steps return it;
// the one place that decides the outcome reads it and, when it tells the user, shows both.
#pragma once

#include "AfxString.h"

struct FileError {
    CString path;
    DWORD code = 0;
};

// Fills in `error` (unless null) with `path` and `code`; returns false, for a failing step to
// return.
bool FailWith(FileError* error, const CString& path, DWORD code);

// The system's own description of error `code`, in the user's language; the number when the
// system has none.
CString SystemErrorText(DWORD code);

// The full path of `module` (nullptr: the program's own file), whole however long; "" when the
// system gives none.
std::wstring AfxModuleFileName(HMODULE module);
// The short (8.3) form of `path`; "" when it has none.
std::wstring AfxShortPathOf(const std::wstring& path);
// The temporary folder with its final separator; "" when there is none.
std::wstring AfxTemporaryFolder();
