// Rules about paths in the system's 8-bit code page, without any file access: where a path's
// folder ends, how many characters it has, whether the 8-bit file functions can take it, and
// the names of the files an upgrade keeps beside an installed file.
#pragma once

#include <cstddef>
#include <string>

// `value` in signed decimal digits. (std::to_string would bring the run-time's whole number
// formatter into Setup.exe.)
std::string DecimalText(long long value);
// `value` divided by `divisor` (1 to 65536), rounded down; `remainder` receives the rest. It
// divides in 16-bit steps, so that Setup.exe needs no 64-bit division routine of the compiler's.
unsigned long long DividedBy(unsigned long long value, unsigned divisor, unsigned* remainder);

// Tells whether a byte is the lead byte of a double-byte character in the code page in use;
// nullptr stands for a single-byte code page.
using LeadBytePredicate = bool (*)(unsigned char);

// The most characters a path may have for the 8-bit file functions (MAX_PATH less the NUL).
constexpr std::size_t kLongestPath = 259;
// The most characters of the folder given to GetTempFileName (it adds a 13-character name).
constexpr std::size_t kLongestTemporaryFolder = kLongestPath - 13;

// The folder part of `path`: everything before its last separator ('\\' or '/'). The trail
// byte of a double-byte character is never taken for a separator. "" when there is none.
std::string FolderOfPath(const std::string& path, LeadBytePredicate isLeadByte);

// The number of characters of `path`: a lead byte and its trail byte count once.
std::size_t CharacterCount(const std::string& path, LeadBytePredicate isLeadByte);

// Whether `path` is one the file functions can take whole: not empty, no NUL inside, at most
// `longest` characters.
[[nodiscard]] bool PathFits(const std::string& path, std::size_t longest,
                            LeadBytePredicate isLeadByte);

// What the file system said about one path.
struct FileProbe {
    enum class Kind {
        File,
        Folder,
        Absent,     // reported absent: no such file, or no such folder on the way to it
        Unreadable, // any other error: no access, a path the system refuses, ...
    };
    Kind kind = Kind::Absent;
    long long mtime = 0;         // last modification, whole seconds (files only)
    unsigned long long size = 0; // bytes (files only)
    bool readOnly = false;       // the read-only attribute
    long long lastWrite = 0;     // last modification, 100-nanosecond ticks (files only)
    unsigned long error = 0;     // the system's error code (Unreadable only)
};

// Whether `path` names a place independent of the current drive and folder: a drive letter, a
// colon and a separator ("C:\..."), or a UNC path ("\\server\share...").
[[nodiscard]] bool IsAbsolutePath(const std::string& path);

// The names of the files an upgrade keeps beside an installed file while it runs: the new
// content waiting to take its place, and the old file kept until the upgrade is complete.
std::string StagedPathOf(const std::string& destination);
std::string BackupPathOf(const std::string& destination);
// The name an old file still in use (a running program's) waits under to be deleted at the next
// restart: `destination`~del1 to ~del99, the first that is free. The recovery leaves these names
// alone.
constexpr int kWaitingNames = 99;
std::string WaitingPathOf(const std::string& destination, int number);
