#include "upgrade/PathRules.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

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

void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << c.name;
}

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

// How long a path is, and whether the 8-bit file functions take it.
struct LengthCase {
    const char* name;
    std::string path;
    bool doubleByteCodePage;
    std::size_t characters;
    bool fits; // at most kLongestPath characters
};

void PrintTo(const LengthCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kBig5Pair = "\xB3\x5C"; // one character, two bytes, the second a backslash

const LengthCase kLengthCases[] = {
    {"Empty", "", false, 0, false},
    {"Short", "C:\\a", false, 4, true},
    {"AtTheLimit", "C:\\" + std::string(256, 'a'), false, 259, true},
    {"OnePastTheLimit", "C:\\" + std::string(257, 'a'), false, 260, false},
    {"NulInside", std::string("C:\\a\0b", 6), false, 6, false},
    {"DoubleByteCharactersCountOnce", "C:\\" + kBig5Pair + kBig5Pair, true, 5, true},
    // 300 bytes, but 131 characters: within the limit.
    {"DoubleByteLongInBytesShortInCharacters",
     "C:\\" + std::string(2 * 128, '\xB3') + std::string(41, 'a'), true, 172, true},
    {"DoubleBytePastTheLimitInCharacters",
     "C:\\" +
         [] {
             std::string s;
             for (int i = 0; i < 257; ++i)
                 s += kBig5Pair;
             return s;
         }(),
     true, 260, false},
    {"SingleByteCountsEveryByte", "C:\\" + kBig5Pair + kBig5Pair, false, 7, true},
    {"LoneLeadByteAtEnd", "C:\\a\xB3", true, 5, true},
};

class PathLengthTest : public testing::TestWithParam<LengthCase> {};

TEST_P(PathLengthTest, CountsCharactersAndChecksTheLimit) {
    const LengthCase& c = GetParam();
    LeadBytePredicate lead = c.doubleByteCodePage ? IsBig5LeadByte : nullptr;
    EXPECT_EQ(c.characters, CharacterCount(c.path, lead));
    EXPECT_EQ(c.fits, PathFits(c.path, kLongestPath, lead));
}

INSTANTIATE_TEST_SUITE_P(Table, PathLengthTest, testing::ValuesIn(kLengthCases),
                         [](const testing::TestParamInfo<LengthCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(IsAbsolutePathTest, DriveAndUncPathsOnly) {
    for (const char* path : {"C:\\Quillo", "c:/Quillo", "Z:\\", "\\\\server\\share\\Quillo"})
        EXPECT_TRUE(IsAbsolutePath(path)) << path;
    for (const char* path : {"", "Quillo", "Quillo\\a", "\\Quillo", "C:Quillo", "C:", "1:\\a",
                             "\\\\\\share", "..\\Quillo"})
        EXPECT_FALSE(IsAbsolutePath(path)) << path;
}

// The 16-bit long division agrees with the compiler's 64-bit one at every width.
TEST(DividedByTest, AgreesWithDivision) {
    const unsigned long long values[] = {
        0, 9, 65535, 4294967295ull, 4294967296ull, 133484304001234567ull, ~0ull};
    for (unsigned long long value : values)
        for (unsigned divisor : {1u, 10u, 125u, 625u, 65535u, 65536u}) {
            unsigned remainder = 99999;
            EXPECT_EQ(value / divisor, DividedBy(value, divisor, &remainder)) << value;
            EXPECT_EQ(value % divisor, remainder) << value << " / " << divisor;
        }
    EXPECT_EQ("-9223372036854775808", DecimalText(-9223372036854775807ll - 1));
    EXPECT_EQ("18446744073709551", DecimalText(18446744073709551ll));
    EXPECT_EQ("0", DecimalText(0));
}

} // namespace
