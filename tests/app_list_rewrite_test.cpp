#include "upgrade/AppListRewrite.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

const std::string kFfPrefix(16, '\xFF');
const std::string kFiller(25, ' ');
const std::string kEntryText = "Pack07up02.exe";

// What a rewrite leaves as the new file: its status, and its content when rewritten.
struct Rewritten {
    AppListRewrite::Status status;
    std::string bytes;
};

// Rewrites `before` as the program does, in one buffer: free bytes (not zero, so that any of them
// leaking into the content shows) in front of the old content and room for the entry after it.
// A file that is not rewritten must leave the buffer as it was.
Rewritten Rewrite(const std::string& before, const std::string& entryName) {
    const std::string room(AppListTailRoom(entryName.size(), kEntryText.size()), '#');
    std::string buffer = std::string(kAppListSlack, '#') + before + room;
    const std::string unchanged = buffer;

    const AppListRewrite result =
        RewriteAppList(buffer.data(), before.size(), entryName, kEntryText);

    if (result.status != AppListRewrite::Status::Rewritten) {
        EXPECT_EQ(unchanged, buffer);
        return {result.status, std::string()};
    }
    EXPECT_LE(result.begin, result.end);
    EXPECT_LE(result.end, buffer.size());
    return {result.status, buffer.substr(result.begin, result.end - result.begin)};
}

// A list header as the rewrite writes it: the count, a separator, the filler, a separator.
std::string Header(const std::string& count) {
    return count + "\r\n\r\n" + kFiller + "\r\n\r\n";
}

// A 114-byte list file with entries 1 and 2 behind an all-0xFF prefix.
std::string TwoEntriesBehindFfPrefix() {
    return kFfPrefix + "2\r\n\r\n" + kFiller + "\r\n\r\n" +
           "[LIST]\r\nname1=Alpha\r\nurl1=alpha.exe\r\nname2=Beta\r\nurl2=beta.exe\r\n";
}

TEST(AppListRewriteTest, ThirdEntryAppendedByteForByteAtItsOffsets) {
    const std::string before = TwoEntriesBehindFfPrefix();
    ASSERT_EQ(114u, before.size());

    const Rewritten result = Rewrite(before, "Gamma");

    ASSERT_EQ(AppListRewrite::Status::Rewritten, result.status);
    const std::string expected = kFfPrefix + "3\r\n\r\n" + kFiller + "\r\n\r\n" +
                                 "[LIST]\r\nname1=Alpha\r\nurl1=alpha.exe\r\n"
                                 "name2=Beta\r\nurl2=beta.exe\r\n\r\n\r\n"
                                 "name3=Gamma\r\nurl3=Pack07up02.exe\r\n";
    EXPECT_EQ(152u, result.bytes.size());
    EXPECT_EQ(expected, result.bytes);
    // Where the new lines stand in the file.
    EXPECT_EQ(0, result.bytes.compare(50, 6, "[LIST]"));
    EXPECT_EQ(0, result.bytes.compare(114, 4, "\r\n\r\n"));
    EXPECT_EQ(0, result.bytes.compare(118, 13, "name3=Gamma\r\n"));
    EXPECT_EQ(0, result.bytes.compare(131, 21, "url3=Pack07up02.exe\r\n"));
}

TEST(AppListRewriteTest, SecondCallAddsEntryFourAfterTwoEmptyLines) {
    const Rewritten first = Rewrite(TwoEntriesBehindFfPrefix(), "Gamma");
    ASSERT_EQ(AppListRewrite::Status::Rewritten, first.status);

    const Rewritten second = Rewrite(first.bytes, "Gamma");

    ASSERT_EQ(AppListRewrite::Status::Rewritten, second.status);
    const std::string expected = kFfPrefix + "4\r\n\r\n" + kFiller + "\r\n\r\n" +
                                 "[LIST]\r\nname1=Alpha\r\nurl1=alpha.exe\r\n"
                                 "name2=Beta\r\nurl2=beta.exe\r\n\r\n\r\n"
                                 "name3=Gamma\r\nurl3=Pack07up02.exe\r\n\r\n\r\n"
                                 "name4=Gamma\r\nurl4=Pack07up02.exe\r\n";
    EXPECT_EQ(expected, second.bytes);
    // Everything from the marker to the end of the url3 line is carried over unchanged.
    EXPECT_EQ(first.bytes.substr(50), second.bytes.substr(50, first.bytes.size() - 50));
}

struct EdgeCase {
    const char* name;
    std::string before;
    std::string entryName;
    AppListRewrite::Status status;
    std::string after; // compared only when rewritten
};

class AppListRewriteEdgeTest : public testing::TestWithParam<EdgeCase> {};

TEST_P(AppListRewriteEdgeTest, RewritesAsExpected) {
    const EdgeCase& c = GetParam();

    const Rewritten result = Rewrite(c.before, c.entryName);

    ASSERT_EQ(c.status, result.status);
    if (c.status != AppListRewrite::Status::Rewritten) {
        EXPECT_TRUE(result.bytes.empty());
        return;
    }
    EXPECT_EQ(c.after, result.bytes);
    EXPECT_EQ(c.before.substr(0, 16), result.bytes.substr(0, 16));
}

// The entry lines appended for entry number n with the name "Gamma".
std::string Entry(const std::string& n, const std::string& name = "Gamma") {
    return "\r\n\r\nname" + n + "=" + name + "\r\nurl" + n + "=Pack07up02.exe\r\n";
}

const std::string kList = "[LIST]\r\nname1=Alpha\r\nurl1=alpha.exe\r\n";
const std::string kZeroPrefix = "\0\x01\0\x02PREFIX\0\0\xFF\0\0\0"s;
const std::string kBig5Name = "\xB3\x5C\xA6\x72\xA8\xE5"; // Big5 text, one trail byte is 0x5C
const std::string kLongHeader = "1\r\n" + std::string(600, 'x') + "\r\n";
const std::string kNineList = kList + "name9=Nine\r\nurl9=nine.exe\r\n";

const EdgeCase kEdgeCases[] = {
    {"SixteenByteFile", kFfPrefix, "Gamma", AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("1") + Entry("1")},
    {"NoMarkerKeepsOldTextWithCount", kFfPrefix + Header("5") + "name5=E\r\n", "Gamma",
     AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("6") + Header("5") + "name5=E\r\n" + Entry("6")},
    {"TextBeforeMarkerDropped", kFfPrefix + "2\r\n[Other]\r\nkey=value\r\n" + kList, "Gamma",
     AppListRewrite::Status::Rewritten, kFfPrefix + Header("3") + kList + Entry("3")},
    {"SectionsAfterListKept", kFfPrefix + Header("1") + kList + "[Extra]\r\nx=y\r\n", "Gamma",
     AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("2") + kList + "[Extra]\r\nx=y\r\n" + Entry("2")},
    {"NineBecomesTen", kFfPrefix + Header("9") + kNineList, "Gamma",
     AppListRewrite::Status::Rewritten, kFfPrefix + Header("10") + kNineList + Entry("10")},
    {"CountWithLeadingWhiteSpace", kFfPrefix + " \t\r\n\v\f 7\r\n" + kList, "Gamma",
     AppListRewrite::Status::Rewritten, kFfPrefix + Header("8") + kList + Entry("8")},
    {"CountWithPlus", kFfPrefix + "+4\r\n" + kList, "Gamma", AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("5") + kList + Entry("5")},
    {"CountWithLeadingZeros", kFfPrefix + "0007\r\n" + kList, "Gamma",
     AppListRewrite::Status::Rewritten, kFfPrefix + Header("8") + kList + Entry("8")},
    {"MinusOneGivesZero", kFfPrefix + "-1\r\n" + kList, "Gamma", AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("0") + kList + Entry("0")},
    {"NoNumberGivesOne", kFfPrefix + "abc\r\n" + kList, "Gamma", AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("1") + kList + Entry("1")},
    {"SignWithoutDigitsGivesOne", kFfPrefix + "+-3\r\n" + kList, "Gamma",
     AppListRewrite::Status::Rewritten, kFfPrefix + Header("1") + kList + Entry("1")},
    {"LowerCaseMarkerIsNoMarker", kFfPrefix + "1\r\n[list]\r\nname1=A\r\n", "Gamma",
     AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("2") + "1\r\n[list]\r\nname1=A\r\n" + Entry("2")},
    {"BytesAboveSevenFByteForByte", kFfPrefix + "1\r\n" + kList + "name2=\xC4\xE3\xBA\xC3\r\n",
     kBig5Name, AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("2") + kList + "name2=\xC4\xE3\xBA\xC3\r\n" + Entry("2", kBig5Name)},
    {"ZeroBytesInPrefixAndList", kZeroPrefix + "1\r\n" + kList + "name2=a\0b\r\n\0\0"s, "Gamma",
     AppListRewrite::Status::Rewritten,
     kZeroPrefix + Header("2") + kList + "name2=a\0b\r\n\0\0"s + Entry("2")},
    {"MarkerAfterZeroByteFound", kFfPrefix + "3\0junk\r\n"s + kList, "Gamma",
     AppListRewrite::Status::Rewritten, kFfPrefix + Header("4") + kList + Entry("4")},
    {"FifteenByteFileTooShort", std::string(15, '\xFF'), "Gamma", AppListRewrite::Status::TooShort,
     ""},
    {"EmptyFileTooShort", "", "Gamma", AppListRewrite::Status::TooShort, ""},
    {"CountAtInt32MaxOverflows", kFfPrefix + "2147483647\r\n" + kList, "Gamma",
     AppListRewrite::Status::CountOverflow, ""},
    {"CountAboveInt32MaxOverflows", kFfPrefix + "2147483648\r\n" + kList, "Gamma",
     AppListRewrite::Status::CountOverflow, ""},
    {"HugeCountOverflows", kFfPrefix + std::string(200, '9') + "\r\n" + kList, "Gamma",
     AppListRewrite::Status::CountOverflow, ""},
    {"CountBelowInt32MinOverflows", kFfPrefix + "-2147483649\r\n" + kList, "Gamma",
     AppListRewrite::Status::CountOverflow, ""},
    {"CountJustBelowInt32Max", kFfPrefix + "2147483646\r\n" + kList, "Gamma",
     AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("2147483647") + kList + Entry("2147483647")},
    {"CountAtInt32Min", kFfPrefix + "-2147483648\r\n" + kList, "Gamma",
     AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("-2147483647") + kList + Entry("-2147483647")},
    {"ManyLeadingZerosWithinWindow", kFfPrefix + std::string(250, '0') + "12\r\n" + kList, "Gamma",
     AppListRewrite::Status::Rewritten, kFfPrefix + Header("13") + kList + Entry("13")},
    {"WhiteSpaceFillsWindow", kFfPrefix + std::string(256, ' ') + "5\r\n" + kList, "Gamma",
     AppListRewrite::Status::Rewritten, kFfPrefix + Header("1") + kList + Entry("1")},
    {"DigitsCutAtWindowEnd", kFfPrefix + std::string(250, ' ') + "12345678\r\n" + kList, "Gamma",
     AppListRewrite::Status::Rewritten, kFfPrefix + Header("123457") + kList + Entry("123457")},
    {"ZerosFillWindowDigitBeyond", kFfPrefix + std::string(256, '0') + "9\r\n" + kList, "Gamma",
     AppListRewrite::Status::Rewritten, kFfPrefix + Header("1") + kList + Entry("1")},
    {"CountEndsAtFileEnd", kFfPrefix + "41", "Gamma", AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("42") + "41" + Entry("42")},
    {"EmptyEntryName", kFfPrefix + Header("2") + kList, "", AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("3") + kList + Entry("3", "")},
    {"LongestNumberWithoutMarkerFillsTheRoom", kFfPrefix + "-2147483648", "Gamma",
     AppListRewrite::Status::Rewritten,
     kFfPrefix + Header("-2147483647") + "-2147483648" + Entry("-2147483647")},
    {"LongOldHeaderLeavesNothingBehind", kFfPrefix + kLongHeader + kList, "Gamma",
     AppListRewrite::Status::Rewritten, kFfPrefix + Header("2") + kList + Entry("2")},
};

INSTANTIATE_TEST_SUITE_P(Table, AppListRewriteEdgeTest, testing::ValuesIn(kEdgeCases),
                         [](const testing::TestParamInfo<EdgeCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
