// The platform's cryptography (CNG, bcrypt.dll). bcrypt.dll is not one of the system's known
// DLLs, so it is loaded from the system folder when first needed rather than imported: an
// imported DLL would be looked for beside Setup.exe first, before any of the program's code runs.
#pragma once

#include "AfxFile.h"

#include <bcrypt.h>

// The functions of bcrypt.dll the program uses.
struct CngFunctions {
    decltype(&::BCryptOpenAlgorithmProvider) openAlgorithmProvider;
    decltype(&::BCryptCloseAlgorithmProvider) closeAlgorithmProvider;
    decltype(&::BCryptCreateHash) createHash;
    decltype(&::BCryptHashData) hashData;
    decltype(&::BCryptFinishHash) finishHash;
    decltype(&::BCryptDestroyHash) destroyHash;
};

// bcrypt.dll's functions, loaded on the first call and kept for the life of the process. The
// failure names bcrypt.dll: it cannot be loaded, or lacks a function.
Result AfxLoadCng(const CngFunctions** functions);
// A CNG call that returned `status`: success, or a failure that names bcrypt.dll with the
// system's error code for that status.
Result AfxCngResult(NTSTATUS status);
