// Pure decisions of the payload replacement: the payload table, the copy rule and path helpers.
// No file access; the Windows code around them does the reading and copying.
#pragma once

#include <string>

// One payload file: where it lies in the setup folder, where it goes below the install base, and
// whether it is only replaced where it is already installed (never added).
struct PayloadRow {
    const char* source;
    const char* destination;
    bool onlyWhenInstalled;
};

// Number of rows in the payload table.
constexpr int kPayloadRowCount = 9;

// The rule code every payload row is copied with: copy when newer or when the destination is
// missing.
constexpr int kPayloadRule = 4;

// The nine payload rows in table order (source names relative to the setup folder, destinations
// relative to the install base).
extern const PayloadRow kPayloadRows[kPayloadRowCount];

// Whether CopyPayloadFile's rule copies, from the two files' status reads (times in whole
// seconds).
bool RuleCopies(int rule, bool sourceStatusRead, long long sourceTime, bool destinationStatusRead,
                long long destinationTime);

// The folder part of a path: everything before the last path separator ('\\' or '/'), DBCS-aware:
// a byte that is the trail byte of a double-byte character is not a separator. isLeadByte tells
// which bytes are lead bytes in the current code page (nullptr: single-byte code page). Returns ""
// when there is no separator.
std::string FolderOfPath(const std::string& path, bool (*isLeadByte)(unsigned char) = nullptr);

// What happened to one payload row during the replacement walk.
enum class RowOutcome {
    Replaced,             // the payload file now stands in place of the destination
    SkippedNotNewer,      // the installed file is as new as the payload file, or newer
    SkippedNotInstalled,  // an only-when-installed file that is not installed
    SkippedFolderAbsent,  // the destination folder is missing: that component is not installed
    FailedSourceMissing,  // the payload file is missing from the setup folder
    FailedReplace,        // the destination could not be replaced; it is left as it was
    SkippedNoInstallBase, // the install base is unknown, so nothing is written anywhere
};

// The outcome's name, for logs and test messages.
const char* RowOutcomeName(RowOutcome outcome);
