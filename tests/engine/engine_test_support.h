// Helpers for the engine tests: files, times, folder trees and registry values on the Wine
// prefix's C: drive, and a file held open without sharing by another process.
#pragma once

#include "UiDriver.h"

#include <windows.h>

#include <string>
#include <vector>

namespace enginetest {

// Every file the engine tests write lies below this folder.
constexpr char kTestRoot[] = "C:\\QuilloTests\\engine";

// Creates `folder` below kTestRoot afresh (deleting what was there) and makes kTestRoot the
// current directory, so that a path beginning with a backslash names a place on C:.
std::string FreshFolder(const std::string& name);

bool WriteBytes(const std::string& path, const std::string& bytes);
// The file's whole content; "" and *ok false when it cannot be read.
std::string ReadBytes(const std::string& path, bool* ok = nullptr);
bool PathExists(const std::string& path);
bool IsFolder(const std::string& path);
// Creates `path` and every missing folder above it.
bool MakeFolders(const std::string& path);
// Deletes a folder tree, read-only files included; true when it no longer exists.
bool DeleteTree(const std::string& path);
// Every file and folder below `root`, as paths relative to it (folders end with a backslash),
// sorted.
std::vector<std::string> ListTree(const std::string& root);

// Last-write time in 100-nanosecond ticks since 1601 (UTC); -1 when it cannot be read.
long long WriteTicks(const std::string& path);
bool SetWriteTicks(const std::string& path, long long ticks);
constexpr long long kTicksPerSecond = 10000000;

// Deletes `subKey` below HKLM with everything in it (the program's 32-bit view).
void DeleteRegistryTree(const std::string& subKey);
// Creates `subKey` below HKLM if needed and sets value `name` to `data` (raw bytes, exactly
// as given, terminating NUL only when `data` holds one).
bool SetRegistryValue(const std::string& subKey, const std::string& name, DWORD type,
                      const std::string& data);
// A REG_SZ value holding `text` and its terminating NUL.
bool SetRegistryString(const std::string& subKey, const std::string& name, const std::string& text);

// Holds a file open for reading and writing without sharing, as a running program that uses
// it does. Another process (HoldFile.exe beside the test program) holds it when that program
// is there; otherwise a second handle of this process does, which Wine treats the same way for
// sharing. The hold ends when the object is destroyed.
class FileHolder {
public:
    explicit FileHolder(const std::string& path);
    ~FileHolder();
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    // Whether the file is held open now.
    bool Holding() const { return m_holding; }
    bool ByAnotherProcess() const { return m_holder.Started(); }
    // Why the hold could not be taken.
    const std::string& Error() const { return m_error; }

private:
    bool m_holding = false;
    uidriver::Process m_holder;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    std::string m_error;
};

} // namespace enginetest
