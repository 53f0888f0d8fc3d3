// Restart Manager's error codes, which MinGW's winerror.h lacks (the stand-in and its tests).
#pragma once

#include <windows.h>

#ifndef ERROR_FAIL_SHUTDOWN
#define ERROR_FAIL_NOACTION_REBOOT 350L
#define ERROR_FAIL_SHUTDOWN 351L
#define ERROR_FAIL_RESTART 352L
#define ERROR_MAX_SESSIONS_REACHED 353L
#define ERROR_REQUEST_OUT_OF_SEQUENCE 776L
#endif
