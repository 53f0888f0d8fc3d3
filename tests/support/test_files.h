// Files and folders of a test: the folder named after the running test, what a folder holds,
// whole trees compared before and after, and the list file as Setup leaves it.
#pragma once

#include "Staging.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace testsupport {

// The running test's own folder, C:\QuilloTests\<group>\<suite>.<test> (characters other than
// letters, digits, ".", "_" and "-" replaced by "_").
std::string CurrentTestFolder(const std::string& group);

// The names of the entries of a folder (not "." and ".."), sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

// The entry text Setup registers in the application list.
constexpr char kEntryText[] = "Pack07up02.exe";

// Contents and last-write time of one file.
struct FileRecord {
    std::string bytes;
    long long ticks = -1;
    bool operator==(const FileRecord& other) const {
        return bytes == other.bytes && ticks == other.ticks;
    }
};
// Every file and folder below `folder` (folders as records with ticks -1 and no bytes, so an
// added empty folder shows), keyed by the path relative to `folder`.
using TreeSnapshot = std::map<std::string, FileRecord>;
TreeSnapshot SnapshotTree(const std::string& folder);
// Success when the two snapshots are equal; else a failure naming what differs.
::testing::AssertionResult SameTree(const TreeSnapshot& before, const TreeSnapshot& after);

// The 16 prefix bytes of the staged list file: 0x00 to 0x0F, zero bytes included.
std::string ListPrefix();
// The header of a list file with entry count `count`: the count, a separator, 25 spaces and
// another separator.
std::string ListHeader(const std::string& count);
// The list entry that Setup appends for entry number `number`, after the separator.
std::string AppendedEntry(const std::string& number, const std::string& name);

using product::Printable;

} // namespace testsupport
