// The windows of the simulated product's programs, each on a thread of its own with its own
// message loop, as if each belonged to a program of its own.
#pragma once

#include "MessageLog.h"

#include <string>
#include <vector>

namespace product {

// The product's window classes that Setup asks to quit, in the order it asks them.
extern const char* const kProductClasses[3];

// Registers and shows one top-level window per class and logs every message they receive.
// A window is asked to quit by WM_CLOSE, or by WM_DESTROY carrying 0x5555 and 0xAAAA; the
// window of `hangClass` then blocks its thread for good instead of answering. Writes
// `readyFile` (when not empty) once all windows are shown, and returns 0 once every window
// has been asked to quit and has answered; 3 when a window could not be created.
int RunProductWindows(const std::vector<std::string>& classes, const std::string& hangClass,
                      MessageLog& log, const std::string& readyFile);

} // namespace product
