// Pure rules of the log: which file names a log given on the command line may not have, and which
// of the logs found in Setup's log folder a run deletes. No file access.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Why the log file `path` is refused, or nullptr when it may be made: a device (CON, NUL, COM1,
// LPT1, ... with or without an extension, or a path in the device namespace "\\.\"), a name
// with a character no file name may hold (wildcards among them), or one of Setup's own names,
// which Setup deletes or renames as its own (a staged copy "~new", a backup "~old", an old file
// waiting for the restart "~del1" to "~del99", the journal, the lock).
[[nodiscard]] const char* RefusedLogName(const std::wstring& path);

// One entry of Setup's log folder whose name is of Setup's own naming (QuilloSetup-*.log).
struct FoundLog {
    std::wstring name;
    unsigned long long lastWrite = 0; // the file's last-write time
    bool plainFile = false;           // neither a folder nor a link of any kind
    bool setupsHeader = false;        // its first bytes are the header Setup writes
};

// Whether the log `found[index]` is to be deleted so that the `kept` newest of Setup's own logs
// stay, by their last-write time (among equal times the one found later, as a folder lists its
// names in order, first): only plain files that
// begin with Setup's header are Setup's; anything else is neither counted nor deleted.
[[nodiscard]] bool IsOlderLog(const std::vector<FoundLog>& found, std::size_t index,
                              std::size_t kept);
