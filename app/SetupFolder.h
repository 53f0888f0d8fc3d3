// Paths of the running program and of the folder it was started from.
#pragma once

#include "framework/AfxString.h"

// The full path of the running executable, or "" when the system cut it short.
CString OwnModulePath();
// The folder of `path`: everything before its last path separator, in the
// system's code page (a trail byte is never taken for a separator).
CString SetupFolderOf(const CString& path);
