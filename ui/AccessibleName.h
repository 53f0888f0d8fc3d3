// A name that screen readers announce for a control that has no label before it in its dialog.
#pragma once

#include <windows.h>

// Names `control` with string `id` in the user's language through the system's annotation
// service. False where the system has none (Wine does not implement it): the control then keeps
// the name the system gives it, which is none.
bool SetAccessibleName(HWND control, UINT id);
