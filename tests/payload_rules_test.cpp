#include "upgrade/PayloadRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const long long kTime = 1700000000; // a modification time in whole seconds

struct RuleCase {
    const char* name;
    int rule;
    bool sourceRead;
    long long sourceTime;
    bool destinationRead;
    long long destinationTime;
    bool copies;
};

class RuleCopiesTest : public testing::TestWithParam<RuleCase> {};

TEST_P(RuleCopiesTest, DecidesAsExpected) {
    const RuleCase& c = GetParam();
    EXPECT_EQ(c.copies,
              RuleCopies(c.rule, c.sourceRead, c.sourceTime, c.destinationRead, c.destinationTime));
}

const RuleCase kRuleCases[] = {
    // Rules 3 and 4: newer or missing destination.
    {"Rule4SourceOlderBySecond", 4, true, kTime - 1, true, kTime, false},
    {"Rule4SameSecond", 4, true, kTime, true, kTime, false},
    {"Rule4SourceNewerBySecond", 4, true, kTime + 1, true, kTime, true},
    {"Rule4DestinationUnreadable", 4, true, kTime, false, 0, true},
    {"Rule4SourceUnreadable", 4, false, 0, true, kTime, false},
    {"Rule4BothUnreadable", 4, false, 0, false, 0, true},
    {"Rule3SourceOlderBySecond", 3, true, kTime - 1, true, kTime, false},
    {"Rule3SameSecond", 3, true, kTime, true, kTime, false},
    {"Rule3SourceNewerBySecond", 3, true, kTime + 1, true, kTime, true},
    {"Rule3DestinationUnreadable", 3, true, kTime, false, 0, true},
    {"Rule3SourceUnreadable", 3, false, 0, true, kTime, false},
    // Rule 1: always, even over a newer destination.
    {"Rule1SourceOlderBySecond", 1, true, kTime - 1, true, kTime, true},
    {"Rule1SameSecond", 1, true, kTime, true, kTime, true},
    {"Rule1SourceNewerBySecond", 1, true, kTime + 1, true, kTime, true},
    {"Rule1DestinationUnreadable", 1, true, kTime, false, 0, true},
    {"Rule1SourceUnreadable", 1, false, 0, true, kTime, true},
    // Any other rule: never.
    {"Rule0SourceNewer", 0, true, kTime + 1, true, kTime, false},
    {"Rule0DestinationUnreadable", 0, true, kTime, false, 0, false},
    {"Rule2SourceNewer", 2, true, kTime + 1, true, kTime, false},
    {"Rule2DestinationUnreadable", 2, true, kTime, false, 0, false},
    {"Rule5SourceNewer", 5, true, kTime + 1, true, kTime, false},
    {"Rule5DestinationUnreadable", 5, true, kTime, false, 0, false},
    {"RuleMinusOneSourceNewer", -1, true, kTime + 1, true, kTime, false},
};

INSTANTIATE_TEST_SUITE_P(Table, RuleCopiesTest, testing::ValuesIn(kRuleCases),
                         [](const testing::TestParamInfo<RuleCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(PayloadRowsTest, NineRowsInTableOrder) {
    const PayloadRow expected[] = {
        {"\\qdlg.dll", "\\tindict\\qdlg.dll", false},
        {"\\QuilloRes.dll", "\\QuilloRes.dll", false},
        {"\\lexview.exe", "\\tindict\\lexview.exe", false},
        {"\\QuVoiceS.dll", "\\QuilloSA\\QuilloTTS\\QuVoiceS.dll", false},
        {"\\QuVoiceT.dll", "\\QuilloSA\\QuilloTTS\\QuVoiceT.dll", false},
        {"\\Zxlook.exe", "\\tindict\\Zxlook.exe", false},
        {"\\Aux001.dll", "\\tindict\\Aux001.dll", false},
        {"\\Qutrans.dll", "\\QuilloMT\\Qutrans.dll", true},
        {"\\QuilloSA.dll", "\\QuilloSA\\QuilloSA.dll", true},
    };
    ASSERT_EQ(9, kPayloadRowCount);
    ASSERT_EQ(9u, sizeof(kPayloadRows) / sizeof(kPayloadRows[0]));
    for (int row = 0; row < kPayloadRowCount; ++row) {
        SCOPED_TRACE("row " + std::to_string(row + 1));
        EXPECT_STREQ(expected[row].source, kPayloadRows[row].source);
        EXPECT_STREQ(expected[row].destination, kPayloadRows[row].destination);
        EXPECT_EQ(expected[row].onlyWhenInstalled, kPayloadRows[row].onlyWhenInstalled);
    }
}

TEST(PayloadRowsTest, EveryPathBeginsWithBackslash) {
    for (const PayloadRow& row : kPayloadRows) {
        EXPECT_EQ('\\', row.source[0]) << row.source;
        EXPECT_EQ('\\', row.destination[0]) << row.destination;
    }
}

TEST(PayloadRowsTest, RowsAreCopiedWithRuleFour) {
    EXPECT_EQ(4, kPayloadRule);
}

// Lead bytes of the Big5 and GBK code pages.
bool IsBig5LeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

struct FolderCase {
    const char* name;
    std::string path;
    bool doubleByteCodePage;
    std::string folder;
};

class FolderOfPathTest : public testing::TestWithParam<FolderCase> {};

TEST_P(FolderOfPathTest, CutsAtLastSeparator) {
    const FolderCase& c = GetParam();
    EXPECT_EQ(c.folder, FolderOfPath(c.path, c.doubleByteCodePage ? IsBig5LeadByte : nullptr));
}

const FolderCase kFolderCases[] = {
    {"SetupInFolder", "C:\\a\\Setup.exe", false, "C:\\a"},
    {"RenamedFile", "C:\\Down loads\\Quillo Upgrade (1).exe", false, "C:\\Down loads"},
    {"ForwardSlash", "C:/a/b/Setup.exe", false, "C:/a/b"},
    {"MixedSeparators", "C:\\a/b\\Setup.exe", false, "C:\\a/b"},
    {"NoSeparator", "Setup.exe", false, ""},
    {"EmptyPath", "", false, ""},
    {"TrailingSeparator", "C:\\a\\b\\", false, "C:\\a\\b"},
    {"RootOfDrive", "C:\\Setup.exe", false, "C:"},
    {"UncPath", "\\\\server\\share\\Setup.exe", false, "\\\\server\\share"},
    // Big5 0xB3 0x5C ends with a byte that looks like a backslash.
    {"DbcsTrailByteInFolderName", "C:\\\xB3\x5C\\Setup.exe", true, "C:\\\xB3\x5C"},
    {"DbcsTrailByteInFileName", "C:\\a\\\xB3\x5CSetup.exe", true, "C:\\a"},
    {"DbcsTrailByteAtEnd", "C:\\a\\\xB3\x5C", true, "C:\\a"},
    {"DbcsLeadLikeTrailThenSeparator", "C:\\a\xB3\xB3\\Setup.exe", true, "C:\\a\xB3\xB3"},
    {"DbcsLoneLeadByteAtEnd", "C:\\a\\b\xB3", true, "C:\\a"},
    {"SingleByteCodePageTakesEveryBackslash", "C:\\a\\\xB3\x5CSetup.exe", false, "C:\\a\\\xB3"},
};

INSTANTIATE_TEST_SUITE_P(Table, FolderOfPathTest, testing::ValuesIn(kFolderCases),
                         [](const testing::TestParamInfo<FolderCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(RowOutcomeNameTest, NamesEveryOutcome) {
    EXPECT_STREQ("Replaced", RowOutcomeName(RowOutcome::Replaced));
    EXPECT_STREQ("SkippedNotNewer", RowOutcomeName(RowOutcome::SkippedNotNewer));
    EXPECT_STREQ("SkippedNotInstalled", RowOutcomeName(RowOutcome::SkippedNotInstalled));
    EXPECT_STREQ("SkippedFolderAbsent", RowOutcomeName(RowOutcome::SkippedFolderAbsent));
    EXPECT_STREQ("FailedSourceMissing", RowOutcomeName(RowOutcome::FailedSourceMissing));
    EXPECT_STREQ("FailedReplace", RowOutcomeName(RowOutcome::FailedReplace));
    EXPECT_STREQ("SkippedNoInstallBase", RowOutcomeName(RowOutcome::SkippedNoInstallBase));
}

} // namespace
