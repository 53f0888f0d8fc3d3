// Helpers for the engine tests: registry values written as raw bytes, and a file held open
// without sharing by another process.
#pragma once

#include "UiDriver.h"

#include <windows.h>

#include <string>

namespace enginetest {

// Deletes `subKey` below HKLM with everything in it (the program's 32-bit view).
void DeleteRegistryTree(const std::string& subKey);
// Creates `subKey` below HKLM if needed and sets value `name` to `data` (raw bytes, exactly
// as given, terminating NUL only when `data` holds one).
bool SetRegistryValue(const std::string& subKey, const std::string& name, DWORD type,
                      const std::string& data);

// Holds a file open for reading and writing without sharing, as a running program that uses
// it does: HoldFile.exe beside the test program holds it. The hold ends when the object is
// destroyed.
class FileHolder {
public:
    explicit FileHolder(const std::string& path);
    ~FileHolder() { m_holder.Kill(); }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    // Whether the file is held open now, and why not.
    bool Holding() const { return m_holding; }
    const std::string& Error() const { return m_error; }

private:
    bool m_holding = false;
    uidriver::Process m_holder;
    std::string m_error;
};

} // namespace enginetest
