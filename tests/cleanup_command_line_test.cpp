#include "run/CleanupCommandLine.h"
#include "command_line_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A path of exactly the given length: "C:", then folders with blanks, then the file name.
std::string PathOfLength(std::string::size_type length, const std::string& fileName) {
    std::string folder = "C:";
    while (folder.size() + fileName.size() < length) {
        folder += "\\Long Folder";
    }
    folder.resize(length - fileName.size());
    return folder + fileName;
}

const std::string kTemp = "C:\\WINDOWS\\TEMP\\Del1A2.tmp";
const std::string kModule = "C:\\Setup\\Setup.exe";

struct BuildCase {
    const char* name;
    std::string tempCopyPath;
    long handle;
    std::string handleText;
    std::string modulePath;
};

class CleanupCommandLineTableTest : public testing::TestWithParam<BuildCase> {};

TEST_P(CleanupCommandLineTableTest, SplitGivesBackTheThreeFields) {
    const BuildCase& c = GetParam();

    const std::string line = BuildCleanupCommandLine(c.tempCopyPath, c.handle, c.modulePath);

    const std::vector<std::string> expected = {c.tempCopyPath, c.handleText, c.modulePath};
    EXPECT_EQ(expected, SplitCommandLine(line)) << line;
    // The system takes the program to start from the quoted start of the line.
    EXPECT_EQ(0u, line.find('"' + c.tempCopyPath + '"'));
}

const BuildCase kBuildCases[] = {
    {"PlainPaths", kTemp, 84, "84", kModule},
    {"BlanksInBothPaths", "C:\\Documents and Settings\\Jo Do\\Local Settings\\Temp\\Del2.tmp", 1044,
     "1044", "C:\\Program Files\\Quillo Upgrade\\Setup.exe"},
    {"LongPaths", PathOfLength(250, "\\Del3F.tmp"), 120, "120", PathOfLength(250, "\\Setup.exe")},
    {"MaximalPaths", PathOfLength(259, "\\Del3F.tmp"), 120, "120",
     PathOfLength(259, "\\Setup.exe")},
    {"TrailingBackslash", kTemp, 84, "84", "C:\\Odd Folder\\"},
    {"TrailingBackslashes", kTemp, 84, "84", "C:\\Odd Folder\\\\\\"},
    {"BackslashesInside", "\\\\server\\share\\Del9.tmp", 84, "84", "\\\\server\\share\\Setup.exe"},
    {"NegativeHandle", kTemp, -2, "-2", kModule},
    {"SmallestHandle", kTemp, -2147483647L - 1, "-2147483648", kModule},
    {"LargestHandle", kTemp, 2147483647L, "2147483647", kModule},
    {"ZeroHandle", kTemp, 0, "0", kModule},
    {"TabsInPaths", "C:\\Temp\tDir\\Del4.tmp", 84, "84", "C:\\Set\tup\\Setup.exe"},
    {"DoubleByteText", "C:\\\xB3\x5C\\Del5.tmp", 84, "84",
     "C:\\\xA4\xA4\xA4\xE5 \xB3\x5C\\Setup.exe"},
    {"QuoteInModulePath", kTemp, 84, "84", "C:\\a\"b\\\"c\\Setup.exe"},
    {"EmptyModulePath", kTemp, 84, "84", ""},
};

INSTANTIATE_TEST_SUITE_P(Table, CleanupCommandLineTableTest, testing::ValuesIn(kBuildCases),
                         [](const testing::TestParamInfo<BuildCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(CleanupCommandLineTest, PlainPathsGiveQuotedLine) {
    EXPECT_EQ("\"C:\\WINDOWS\\TEMP\\Del1A2.tmp\" 84 \"C:\\Setup\\Setup.exe\"",
              BuildCleanupCommandLine(kTemp, 84, kModule));
}

TEST(CleanupCommandLineTest, TrailingBackslashIsDoubledBeforeClosingQuote) {
    EXPECT_EQ("\"C:\\t\\Del1.tmp\" 7 \"C:\\a b\\\\\"",
              BuildCleanupCommandLine("C:\\t\\Del1.tmp", 7, "C:\\a b\\"));
}

TEST(CleanupCommandLineTest, LineForMaximalPathsIsWhole) {
    const std::string temp = PathOfLength(259, "\\Del3F.tmp");
    const std::string module = PathOfLength(259, "\\Setup.exe");
    ASSERT_EQ(259u, temp.size());
    ASSERT_EQ(259u, module.size());

    const std::string line = BuildCleanupCommandLine(temp, -2147483647L - 1, module);

    // Two quoted paths, two blanks and eleven characters of handle: longer than 512, all there.
    EXPECT_EQ(2u * (259 + 2) + 2 + 11, line.size());
}

TEST(CleanupCommandLineTest, QuoteInProgramNameGivesEmptyLine) {
    EXPECT_EQ("", BuildCleanupCommandLine("C:\\Te\"mp\\Del1.tmp", 84, kModule));
}

struct SplitCase {
    const char* name;
    std::string line;
    std::vector<std::string> arguments;
};

class SplitCommandLineTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, SplitsByRunTimeRules) {
    const SplitCase& c = GetParam();
    EXPECT_EQ(c.arguments, SplitCommandLine(c.line)) << c.line;
}

const SplitCase kSplitCases[] = {
    {"Empty", "", {""}},
    {"ProgramOnly", "Setup.exe", {"Setup.exe"}},
    {"BlanksAndTabsSeparate", "p a\t b  \t c", {"p", "a", "b", "c"}},
    {"TrailingBlanks", "p a  \t", {"p", "a"}},
    {"QuotesGroup", "p \"a b\" c", {"p", "a b", "c"}},
    {"QuotedPartInsideArgument", "p a\"b c\"d e", {"p", "ab cd", "e"}},
    {"EmptyQuotedArgument", "p \"\" x", {"p", "", "x"}},
    {"UnclosedQuoteRunsToEnd", "p \"a b", {"p", "a b"}},
    {"BackslashesLiteralWithoutQuote", "p a\\\\b\\c\\", {"p", "a\\\\b\\c\\"}},
    {"EvenBackslashesThenQuote", "p \"a\\\\\" b", {"p", "a\\", "b"}},
    {"OddBackslashesThenQuote", "p a\\\"b", {"p", "a\"b"}},
    {"ThreeBackslashesThenQuote", "p a\\\\\\\"b", {"p", "a\\\"b"}},
    {"DoubledQuoteInsideQuotesEndsQuotedPart", "p \"a\"\"b c\"", {"p", "a\"b", "c"}},
    {"TripledQuoteInsideQuotesStaysQuoted", "p \"a\"\"\"b c\"", {"p", "a\"b c"}},
    {"QuotedProgramNameKeepsBackslashes", "\"C:\\a b\\\" x", {"C:\\a b\\", "x"}},
    {"QuotedProgramNameEndsAtQuote", "\"C:\\a\"b c", {"C:\\a", "b", "c"}},
    {"UnquotedProgramNameEndsAtBlank", "C:\\a\\p.exe\tx", {"C:\\a\\p.exe", "x"}},
    {"UnquotedProgramNameKeepsQuote", "C:\\a\"b x", {"C:\\a\"b", "x"}},
};

INSTANTIATE_TEST_SUITE_P(Table, SplitCommandLineTest, testing::ValuesIn(kSplitCases),
                         [](const testing::TestParamInfo<SplitCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
