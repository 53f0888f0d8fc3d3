#include "upgrade/PayloadRules.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using Kind = FileProbe::Kind;
using R = RowOutcome;

const long long kTime = 1700000000; // a modification time in whole seconds

FileProbe File(long long mtime, unsigned long long size = 100, bool readOnly = false) {
    FileProbe probe;
    probe.kind = Kind::File;
    probe.mtime = mtime;
    probe.size = size;
    probe.readOnly = readOnly;
    return probe;
}

FileProbe Of(Kind kind) {
    FileProbe probe;
    probe.kind = kind;
    return probe;
}

struct RowCase {
    const char* name;
    int rule;
    bool onlyWhenInstalled;
    bool pathsFit;
    FileProbe source;
    FileProbe destination;
    FileProbe folder;
    RowOutcome outcome;
};

void PrintTo(const RowCase& c, std::ostream* os) {
    *os << c.name;
}

const FileProbe kFolder = Of(Kind::Folder);
const FileProbe kAbsent = Of(Kind::Absent);
const FileProbe kUnreadable = Of(Kind::Unreadable);

const RowCase kRowCases[] = {
    // Rules 3 and 4: newer in whole seconds, or missing.
    {"Rule4SourceNewerBySecond", 4, false, true, File(kTime + 1), File(kTime), kFolder,
     R::Replaced},
    {"Rule4SameSecond", 4, false, true, File(kTime), File(kTime), kFolder, R::SkippedNotNewer},
    {"Rule4SourceOlder", 4, false, true, File(kTime - 1), File(kTime), kFolder, R::SkippedNotNewer},
    {"Rule3SourceNewer", 3, false, true, File(kTime + 1), File(kTime), kFolder, R::Replaced},
    {"Rule3SourceOlder", 3, false, true, File(kTime - 1), File(kTime), kFolder, R::SkippedNotNewer},
    {"Rule4DestinationMissing", 4, false, true, File(kTime), kAbsent, kFolder, R::Added},
    {"Rule4DestinationFolderAbsent", 4, false, true, File(kTime), kAbsent, kAbsent,
     R::SkippedFolderAbsent},
    // Rule 1 always copies; any other code examines nothing.
    {"Rule1OverNewer", 1, false, true, File(kTime - 1), File(kTime), kFolder, R::Replaced},
    {"Rule1AddsMissing", 1, false, true, File(kTime), kAbsent, kFolder, R::Added},
    {"Rule0", 0, false, true, File(kTime + 1), File(kTime), kFolder, R::SkippedNotNewer},
    {"Rule2", 2, false, true, File(kTime + 1), kAbsent, kFolder, R::SkippedNotNewer},
    {"Rule5EvenWithoutSource", 5, false, true, kAbsent, File(kTime), kFolder, R::SkippedNotNewer},
    // Only-when-installed rows are never added.
    {"OptionalInstalledNewer", 4, true, true, File(kTime + 1), File(kTime), kFolder, R::Replaced},
    {"OptionalMissing", 4, true, true, File(kTime + 1), kAbsent, kFolder, R::SkippedNotInstalled},
    {"OptionalMissingNoSource", 4, true, true, kAbsent, kAbsent, kFolder, R::SkippedNotInstalled},
    {"OptionalIsAFolder", 4, true, true, File(kTime + 1), kFolder, kFolder, R::SkippedNotInstalled},
    {"OptionalUnreadable", 4, true, true, File(kTime + 1), kUnreadable, kFolder,
     R::FailedUnreadable},
    // The payload file.
    {"SourceMissing", 4, false, true, kAbsent, File(kTime), kFolder, R::FailedSourceMissing},
    {"SourceMissingDestinationNewer", 4, false, true, kAbsent, File(kTime + 9), kFolder,
     R::FailedSourceMissing},
    {"SourceIsAFolder", 4, false, true, kFolder, File(kTime), kFolder, R::FailedSourceMissing},
    {"SourceEmpty", 4, false, true, File(kTime + 1, 0), File(kTime), kFolder,
     R::FailedSourceDamaged},
    {"SourceEmptyDestinationMissing", 4, false, true, File(kTime + 1, 0), kAbsent, kFolder,
     R::FailedSourceDamaged},
    // What "absent" means: the system says so; any other error fails.
    {"DestinationUnreadable", 4, false, true, File(kTime + 1), kUnreadable, kFolder,
     R::FailedUnreadable},
    {"DestinationIsAFolder", 4, false, true, File(kTime + 1), kFolder, kFolder,
     R::FailedUnreadable},
    {"FolderUnreadable", 4, false, true, File(kTime + 1), kAbsent, kUnreadable,
     R::FailedUnreadable},
    {"FolderIsAFile", 4, false, true, File(kTime + 1), kAbsent, File(kTime), R::FailedUnreadable},
    // A read-only file is replaced too; the new file keeps the attribute.
    {"ReadOnlyDestination", 4, false, true, File(kTime + 1), File(kTime, 100, true), kFolder,
     R::Replaced},
    {"ReadOnlyDestinationNotNewer", 4, false, true, File(kTime), File(kTime, 100, true), kFolder,
     R::SkippedNotNewer},
    {"PathsTooLong", 4, false, false, File(kTime + 1), File(kTime), kFolder, R::FailedPathTooLong},
    {"PathsTooLongOptional", 4, true, false, File(kTime + 1), kAbsent, kFolder,
     R::FailedPathTooLong},
};

class DecideRowTest : public testing::TestWithParam<RowCase> {};

TEST_P(DecideRowTest, DecidesAsExpected) {
    const RowCase& c = GetParam();
    EXPECT_EQ(c.outcome, DecideRow(c.rule, c.onlyWhenInstalled, c.pathsFit, c.source, c.destination,
                                   c.folder));
}

INSTANTIATE_TEST_SUITE_P(Table, DecideRowTest, testing::ValuesIn(kRowCases),
                         [](const testing::TestParamInfo<RowCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(IsFailureTest, FailuresAreTheFailedOutcomes) {
    for (RowOutcome outcome : {R::Replaced, R::Added, R::SkippedNotNewer, R::SkippedNotInstalled,
                               R::SkippedFolderAbsent})
        EXPECT_FALSE(IsFailure(outcome));
    for (RowOutcome outcome : {R::FailedSourceMissing, R::FailedSourceDamaged, R::FailedUnreadable,
                               R::FailedPathTooLong})
        EXPECT_TRUE(IsFailure(outcome));
}

} // namespace
