// The path of the running program.
#pragma once

#include "framework/AfxString.h"

// The full path of the running executable in a form the 8-bit file functions take (see
// AnsiPathOf), or "" when there is none: a path cut short is never used.
CString OwnModulePath();
