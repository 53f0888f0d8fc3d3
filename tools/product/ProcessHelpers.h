// Starting the product's helper programs and waiting for the files they write when ready.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace product {

// Quotes one command-line argument so that the standard split gives it back unchanged.
std::string QuoteArgument(const std::string& argument);
// The full path of a program lying next to the running executable, e.g. "QuilloProduct.exe".
std::string SiblingProgram(const std::string& fileName);
// Starts `program` with the arguments (quoted as needed). Returns the process handle, or
// nullptr when the start failed; the caller closes it.
HANDLE StartProgram(const std::string& program, const std::vector<std::string>& arguments);
// Writes `text` to `path` through a temporary file, so the file appears complete at once.
bool WriteReadyFile(const std::string& path, const std::string& text);
// Waits until `path` exists; false after `milliseconds`, or at once when `process` (if not
// nullptr) has ended without writing it.
bool WaitForFile(const std::string& path, DWORD milliseconds, HANDLE process = nullptr);

} // namespace product
