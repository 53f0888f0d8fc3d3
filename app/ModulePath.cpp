#include "app/SetupApp.h"

CString gModulePath;
