// Payload replacement on real files under Wine: the nine-row walk, the copy rules and the probe.
#include "engine_test_support.h"
#include "ui/SetupDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using namespace std::string_literals;
using enginetest::kTicksPerSecond;

namespace {

// The payload files' modification time: half a second into a whole second (2020-01-01 UTC).
constexpr long long kPayloadSecond = 132223104000000000LL;
constexpr long long kPayloadTicks = kPayloadSecond + kTicksPerSecond / 2;

// A destination's state before the walk.
enum class Before {
    OlderBySecond, // modified exactly one second before its payload file
    SameSecond,    // modified 0.4 s before its payload file, within the same whole second
    Newer,         // modified a minute after its payload file
    Missing,       // absent, its folder present
    FolderAbsent,  // absent, and its folder too
};

// A destination's state after the walk.
enum class After {
    Payload,   // the payload file's bytes and modification time
    Installed, // the installed file's bytes and modification time, untouched
    Missing,   // still absent
};

constexpr int kRows = kPayloadRowCount;

const char* const kDestinationFolders[kRows] = {
    "\\tindict",
    "",
    "\\tindict",
    "\\QuilloSA\\QuilloTTS",
    "\\QuilloSA\\QuilloTTS",
    "\\tindict",
    "\\tindict",
    "\\QuilloMT",
    "\\QuilloSA",
};

std::string PayloadContent(int row) {
    return "payload of row "s + std::to_string(row + 1) + "\0\xFF\r\n new build\x80"s;
}

std::string InstalledContent(int row) {
    return "installed row "s + std::to_string(row + 1) + "\r\n\0\x7F old build"s;
}

long long DestinationTicks(Before before) {
    switch (before) {
    case Before::OlderBySecond:
        return kPayloadTicks - kTicksPerSecond;
    case Before::SameSecond:
        return kPayloadSecond + kTicksPerSecond / 10;
    case Before::Newer:
        return kPayloadTicks + 60 * kTicksPerSecond;
    default:
        return -1;
    }
}

// Where the table's destination paths lead when the install base is empty: below the root of
// the current drive, which the tests make C:.
std::vector<std::string> DriveRootDestinations() {
    return {"C:\\tindict", "C:\\QuilloRes.dll", "C:\\QuilloSA", "C:\\QuilloMT"};
}

// A staged setup folder with the nine payload files and an install base below one test folder.
class PayloadFixture : public testing::Test {
protected:
    void SetUp() override {
        m_root = enginetest::FreshFolder("payload");
        m_setup = m_root + "\\setup";
        m_base = m_root + "\\Quillo";
        ASSERT_TRUE(enginetest::MakeFolders(m_setup));
        for (int row = 0; row < kRows; ++row) {
            const std::string path = Source(row);
            ASSERT_TRUE(enginetest::WriteBytes(path, PayloadContent(row)));
            ASSERT_TRUE(enginetest::SetWriteTicks(path, kPayloadTicks));
        }
    }
    void TearDown() override { EXPECT_TRUE(enginetest::DeleteTree(m_root)); }

    std::string Source(int row) const { return m_setup + kPayloadRows[row].source; }
    std::string Destination(int row) const { return m_base + kPayloadRows[row].destination; }

    // Stages row `row`'s destination as `before` says.
    void StageDestination(int row, Before before) {
        const std::string folder = m_base + kDestinationFolders[row];
        if (before == Before::FolderAbsent) {
            ASSERT_TRUE(enginetest::DeleteTree(folder));
            return;
        }
        ASSERT_TRUE(enginetest::MakeFolders(folder));
        if (before == Before::Missing)
            return;
        ASSERT_TRUE(enginetest::WriteBytes(Destination(row), InstalledContent(row)));
        ASSERT_TRUE(enginetest::SetWriteTicks(Destination(row), DestinationTicks(before)));
    }

    // Checks row `row`'s destination against `after`; `before` gives the untouched state.
    void ExpectDestination(int row, Before before, After after) {
        SCOPED_TRACE("row " + std::to_string(row + 1) + " " + Destination(row));
        const std::string path = Destination(row);
        switch (after) {
        case After::Missing:
            EXPECT_FALSE(enginetest::PathExists(path));
            break;
        case After::Installed:
            EXPECT_EQ(InstalledContent(row), enginetest::ReadBytes(path));
            EXPECT_EQ(DestinationTicks(before), enginetest::WriteTicks(path));
            break;
        case After::Payload:
            EXPECT_EQ(PayloadContent(row), enginetest::ReadBytes(path));
            // A copy keeps the payload's modification time; whole seconds are what counts.
            EXPECT_EQ(kPayloadTicks / kTicksPerSecond,
                      enginetest::WriteTicks(path) / kTicksPerSecond);
            break;
        }
    }

    std::string m_root;
    std::string m_setup;
    std::string m_base;
};

// ---------------------------------------------------------------------------------------------
// The walk over all nine rows.

using R = RowOutcome;
using B = Before;
using A = After;

template <typename T> using PerRow = std::array<T, kRows>;

struct WalkCase {
    const char* name;
    PerRow<Before> before;
    PerRow<RowOutcome> outcome;
    PerRow<After> after;
    // Adjustments, rows numbered from 1 (0: none).
    int payloadMissingRow = 0;
    int readOnlyRow = 0;
    std::vector<int> heldRows;
    bool readOnlyPayloads = false;
    const char* baseSuffix = ""; // appended to the install base given to the walk
    bool emptyBase = false;      // the walk gets "" as its install base
};

void PrintTo(const WalkCase& c, std::ostream* os) {
    *os << c.name;
}

template <typename T> PerRow<T> All(T value) {
    PerRow<T> rows;
    rows.fill(value);
    return rows;
}

// Rows 1 to 7 one way, the two only-when-installed rows 8 and 9 another.
template <typename T> PerRow<T> SevenAndTwo(T first, T last) {
    PerRow<T> rows = All(first);
    rows[7] = rows[8] = last;
    return rows;
}

WalkCase Case(const char* name, const PerRow<Before>& before, const PerRow<RowOutcome>& outcome,
              const PerRow<After>& after) {
    WalkCase c{};
    c.name = name;
    c.before = before;
    c.outcome = outcome;
    c.after = after;
    return c;
}

std::vector<WalkCase> WalkCases() {
    std::vector<WalkCase> cases;
    cases.push_back(Case("DestinationMissingFolderPresent", All(B::Missing),
                         SevenAndTwo(R::Replaced, R::SkippedNotInstalled),
                         SevenAndTwo(A::Payload, A::Missing)));

    // Row 2 lies directly in the install base, whose folder is present.
    WalkCase c = Case("ComponentFoldersAbsent", All(B::FolderAbsent),
                      SevenAndTwo(R::SkippedFolderAbsent, R::SkippedNotInstalled), All(A::Missing));
    c.before[1] = B::Missing;
    c.outcome[1] = R::Replaced;
    c.after[1] = A::Payload;
    cases.push_back(c);

    cases.push_back(
        Case("OlderBySecond", All(B::OlderBySecond), All(R::Replaced), All(A::Payload)));
    cases.push_back(Case("SameSecondLessThanASecondOlder", All(B::SameSecond),
                         All(R::SkippedNotNewer), All(A::Installed)));
    cases.push_back(Case("Newer", All(B::Newer), All(R::SkippedNotNewer), All(A::Installed)));

    const WalkCase allReplaced = Case("", All(B::OlderBySecond), All(R::Replaced), All(A::Payload));
    c = allReplaced;
    c.name = "PayloadFileMissingWalkGoesOn";
    c.payloadMissingRow = 3;
    c.outcome[2] = R::FailedSourceMissing;
    c.after[2] = A::Installed;
    cases.push_back(c);

    c = allReplaced;
    c.name = "InstalledOptionalFilePayloadMissing";
    c.payloadMissingRow = 8;
    c.outcome[7] = R::FailedSourceMissing;
    c.after[7] = A::Installed;
    cases.push_back(c);

    c = allReplaced;
    c.name = "InstallBaseWithTrailingBackslash";
    c.baseSuffix = "\\";
    cases.push_back(c);

    cases.push_back(Case("InstallBaseWithTrailingBackslashDestinationsMissing", All(B::Missing),
                         SevenAndTwo(R::Replaced, R::SkippedNotInstalled),
                         SevenAndTwo(A::Payload, A::Missing)));
    cases.back().baseSuffix = "\\";

    c = Case("EmptyInstallBaseWritesNothing", All(B::OlderBySecond), All(R::SkippedNoInstallBase),
             All(A::Installed));
    c.emptyBase = true;
    cases.push_back(c);

    c = allReplaced;
    c.name = "ReadOnlyDestination";
    c.readOnlyRow = 1;
    c.outcome[0] = R::FailedReplace;
    c.after[0] = A::Installed;
    cases.push_back(c);

    // Rows 8 and 9 count as installed when a running program holds them open: they are
    // attempted, and the failed replacement is reported, not skipped.
    c = allReplaced;
    c.name = "DestinationsHeldOpenByAnotherProcess";
    c.heldRows = {1, 8};
    c.outcome[0] = c.outcome[7] = R::FailedReplace;
    c.after[0] = c.after[7] = A::Installed;
    cases.push_back(c);

    // Read-only payload files, as from a CD, are installed. On Windows their copies are
    // read-only too, and a copy that cannot be put in place must still leave no temporary file
    // behind (Wine's copy over the temporary file does not take the attribute over).
    c = allReplaced;
    c.name = "ReadOnlyPayloadsOneDestinationHeld";
    c.readOnlyPayloads = true;
    c.heldRows = {2};
    c.outcome[1] = R::FailedReplace;
    c.after[1] = A::Installed;
    cases.push_back(c);
    return cases;
}

class PayloadWalkTest : public PayloadFixture, public testing::WithParamInterface<WalkCase> {};

TEST_P(PayloadWalkTest, ReplacesByTheRules) {
    const WalkCase& c = GetParam();
    for (int row = 0; row < kRows; ++row)
        ASSERT_NO_FATAL_FAILURE(StageDestination(row, c.before[row]));
    if (c.payloadMissingRow) {
        ASSERT_TRUE(::DeleteFileA(Source(c.payloadMissingRow - 1).c_str()));
    }
    if (c.readOnlyRow) {
        const std::string path = Destination(c.readOnlyRow - 1);
        ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    if (c.readOnlyPayloads) {
        for (int row = 0; row < kRows; ++row)
            ASSERT_TRUE(::SetFileAttributesA(Source(row).c_str(), FILE_ATTRIBUTE_READONLY));
    }
    std::vector<std::unique_ptr<enginetest::FileHolder>> holders;
    for (int row : c.heldRows) {
        holders.push_back(std::make_unique<enginetest::FileHolder>(Destination(row - 1)));
        ASSERT_TRUE(holders.back()->Holding()) << holders.back()->Error();
    }
    const std::vector<std::string> setupBefore = enginetest::ListTree(m_setup);
    const std::vector<std::string> baseBefore = enginetest::ListTree(m_base);
    for (const std::string& path : DriveRootDestinations())
        ASSERT_FALSE(enginetest::PathExists(path)) << path << " is not the tests' own";
    const std::string installBase = c.emptyBase ? "" : m_base + c.baseSuffix;

    const std::vector<RowOutcome> outcomes =
        CSetupDlg::ReplacePayloadFiles(m_setup.c_str(), installBase.c_str());

    holders.clear();
    ASSERT_EQ(static_cast<size_t>(kRows), outcomes.size());
    for (int row = 0; row < kRows; ++row) {
        EXPECT_STREQ(RowOutcomeName(c.outcome[row]), RowOutcomeName(outcomes[row]))
            << "row " << row + 1;
        ExpectDestination(row, c.before[row], c.after[row]);
    }
    // The install tree gained exactly the files that were added: no temporary file is left
    // and no folder was created.
    std::vector<std::string> expectedBase = baseBefore;
    for (int row = 0; row < kRows; ++row) {
        if (c.before[row] == Before::Missing && c.after[row] == After::Payload)
            expectedBase.push_back(std::string(kPayloadRows[row].destination).substr(1));
    }
    std::sort(expectedBase.begin(), expectedBase.end());
    EXPECT_EQ(expectedBase, enginetest::ListTree(m_base));
    // The payload files are only read.
    EXPECT_EQ(setupBefore, enginetest::ListTree(m_setup));
    for (int row = 0; row < kRows; ++row) {
        if (row + 1 != c.payloadMissingRow) {
            EXPECT_EQ(PayloadContent(row), enginetest::ReadBytes(Source(row)));
        }
    }
    for (const std::string& path : DriveRootDestinations()) {
        EXPECT_FALSE(enginetest::PathExists(path)) << path << " was written";
        enginetest::DeleteTree(path); // absent before the walk: whatever is there now is its
    }
}

INSTANTIATE_TEST_SUITE_P(Walk, PayloadWalkTest, testing::ValuesIn(WalkCases()),
                         [](const testing::TestParamInfo<WalkCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// One copy with a given rule code.

struct RuleCase {
    const char* name;
    int rule;
    Before before;
    RowOutcome outcome;
    After after;
};

void PrintTo(const RuleCase& c, std::ostream* os) {
    *os << c.name;
}

const RuleCase kRuleCases[] = {
    {"Rule1CopiesOverNewer", 1, Before::Newer, RowOutcome::Replaced, After::Payload},
    {"Rule1CopiesOverSameSecond", 1, Before::SameSecond, RowOutcome::Replaced, After::Payload},
    {"Rule3CopiesOverOlder", 3, Before::OlderBySecond, RowOutcome::Replaced, After::Payload},
    {"Rule3KeepsNewer", 3, Before::Newer, RowOutcome::SkippedNotNewer, After::Installed},
    {"Rule0CopiesNothing", 0, Before::OlderBySecond, RowOutcome::SkippedNotNewer, After::Installed},
    {"Rule2CopiesNothing", 2, Before::OlderBySecond, RowOutcome::SkippedNotNewer, After::Installed},
    {"Rule5CopiesNothing", 5, Before::OlderBySecond, RowOutcome::SkippedNotNewer, After::Installed},
    {"Rule5AddsNothing", 5, Before::Missing, RowOutcome::SkippedNotNewer, After::Missing},
};

class CopyRuleTest : public PayloadFixture, public testing::WithParamInterface<RuleCase> {};

TEST_P(CopyRuleTest, CopiesByRuleCode) {
    const RuleCase& c = GetParam();
    const int row = 0;
    ASSERT_NO_FATAL_FAILURE(StageDestination(row, c.before));
    const std::vector<std::string> baseBefore = enginetest::ListTree(m_base);

    const RowOutcome outcome =
        CSetupDlg::CopyPayloadFile(Source(row).c_str(), Destination(row).c_str(), c.rule);

    EXPECT_STREQ(RowOutcomeName(c.outcome), RowOutcomeName(outcome));
    ExpectDestination(row, c.before, c.after);
    EXPECT_EQ(baseBefore, enginetest::ListTree(m_base)); // no temporary file left
}

INSTANTIATE_TEST_SUITE_P(Rules, CopyRuleTest, testing::ValuesIn(kRuleCases),
                         [](const testing::TestParamInfo<RuleCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// The probe that decides whether rows 8 and 9 are installed.

TEST_F(PayloadFixture, FileExistsWhenItsAttributesCanBeRead) {
    const std::string file = m_root + "\\installed.dll";
    const std::string readOnly = m_root + "\\readonly.dll";
    const std::string held = m_root + "\\held.dll";
    ASSERT_TRUE(enginetest::WriteBytes(file, "x"));
    ASSERT_TRUE(enginetest::WriteBytes(readOnly, "x"));
    ASSERT_TRUE(::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(enginetest::WriteBytes(held, "x"));
    enginetest::FileHolder holder(held);
    ASSERT_TRUE(holder.Holding()) << holder.Error();

    EXPECT_TRUE(CSetupDlg::FileExists(file.c_str()));
    EXPECT_TRUE(CSetupDlg::FileExists(readOnly.c_str()));
    EXPECT_TRUE(CSetupDlg::FileExists(held.c_str()));
    EXPECT_FALSE(CSetupDlg::FileExists((m_root + "\\absent.dll").c_str()));
    EXPECT_FALSE(CSetupDlg::FileExists(m_setup.c_str())); // a folder is not an installed file
}

} // namespace
