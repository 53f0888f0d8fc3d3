// Pure decisions of the payload replacement: the payload table, the copy rule, and what becomes
// of each row given what the file system said about its files. No file access.
#pragma once

#include "upgrade/PathRules.h"

#include <string>

// One payload file: where it lies in the setup folder, where it goes below the install base, and
// whether it is only replaced where it is already installed (never added).
struct PayloadRow {
    const char* source;
    const char* destination;
    bool onlyWhenInstalled;
};

constexpr int kPayloadRowCount = 9;

// The installed files an upgrade may change, its items: the payload rows' destinations (0 to 8),
// then the application-list file.
constexpr int kListItem = kPayloadRowCount;
constexpr int kItemCount = kPayloadRowCount + 1;
// The application-list file below the install base.
constexpr char kListFile[] = "\\QuilloHub\\modlist.ini";

// The rule code every payload row is copied with: copy when newer or when the destination is
// missing.
constexpr int kPayloadRule = 4;

// The nine payload rows in table order (source names relative to the setup folder, destinations
// relative to the install base).
extern const PayloadRow kPayloadRows[kPayloadRowCount];

// The installed file of item `item` below `installBase`.
std::string ItemPath(const std::string& installBase, int item);

// What becomes of one payload row.
enum class [[nodiscard]] RowOutcome{
    Replaced,            // the payload file takes the place of the installed one
    Added,               // the payload file is added where the installed one is missing
    SkippedNotNewer,     // the installed file is as new as the payload file, or newer
    SkippedNotInstalled, // an only-when-installed file that is not installed
    SkippedFolderAbsent, // the destination's folder is absent: that component is not installed
    FailedSourceMissing, // the payload file is missing from the setup folder
    FailedSourceDamaged, // the payload file is empty, as after a truncated download
    FailedUnreadable,    // the destination or its folder cannot be examined, or is not a file
    FailedPathTooLong,   // a path of the row is longer than the file functions take
};

// Whether the row's outcome fails the whole upgrade.
[[nodiscard]] bool IsFailure(RowOutcome outcome);

// What becomes of a row copied with rule code `rule`, given its payload file, its destination and
// the destination's folder, and whether every path of the row fits the file functions. Rule 1
// copies always; rules 3 and 4 when the destination is missing or older in whole seconds; any
// other code copies nothing and examines nothing.
RowOutcome DecideRow(int rule, bool onlyWhenInstalled, bool pathsFit, const FileProbe& source,
                     const FileProbe& destination, const FileProbe& folder);
