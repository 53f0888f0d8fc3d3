// The platform's cryptography (CNG, bcrypt.dll). bcrypt.dll is not one of the system's known
// DLLs, so it is loaded from the system folder when first needed (AfxLoadSystemFunctions) rather
// than imported: an imported DLL would be looked for beside Setup.exe first, before any of the
// program's code runs.
#pragma once

#include "AfxFile.h"

#include <bcrypt.h>

constexpr char kAfxCngLibrary[] = "bcrypt.dll";
// A CNG call that returned `status`: success, or a failure that names bcrypt.dll with the
// system's error code for that status.
Result AfxCngResult(NTSTATUS status);
