// Saves what the screen shows as a BMP file.
#pragma once

#include <string>

#include <windows.h>

// Captures the part of the screen that `window` covers (the whole screen for
// nullptr) into `path`, a 24-bit BMP; false when it could not.
bool SaveScreenshot(const std::wstring& path, HWND window = nullptr);
