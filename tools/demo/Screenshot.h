// Saves what the screen shows as a BMP file.
#pragma once

#include <string>

// Captures the whole screen into `path` (a 24-bit BMP); false when it could not.
bool SaveScreenshot(const std::wstring& path);
