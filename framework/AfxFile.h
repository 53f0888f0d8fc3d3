// A file operation that failed: which file, and the system's error code. Failing steps return it;
// the one place that decides the outcome reads it and, when it tells the user, shows both.
#pragma once

#include "AfxString.h"

struct FileError {
    CString path;
    DWORD code = 0;
};

// The system's own description of error `code`, in the user's language; the number when the
// system has none.
CString SystemErrorText(DWORD code);
