// "Yes" on a matching installed product runs the whole upgrade: the product's three programs are
// asked to quit before any installed file changes, each payload row is replaced or left as the
// newer-or-missing rule says, the upgrade is appended to the application list, the success
// message is shown, and after OK Setup ends and deletes its payload files.
#include "upgrade_run_support.h"

#include "ProcessHelpers.h"

#include <algorithm>

namespace upgraderun {
namespace {

using product::DestState;

// What a row's destination holds after the run.
enum class After {
    Payload,       // the payload file: the installed one replaced, or a missing one added
    Installed,     // the installed file, untouched
    Missing,       // still missing, its folder present
    FolderMissing, // still missing, and its folder too
};

struct WholeUpgradeCase {
    const char* name;
    DestState dest[9];
    After after[9];
    std::string productInfo;
    std::string listBefore; // the whole list file as staged
    std::string listAfter;  // the whole list file as Setup must leave it
    bool released = false;  // Setup built with the simulated product's payload fixed
};

void PrintTo(const WholeUpgradeCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kDefaultBody =
    "[LIST]\r\nname1=Alpha\r\nurl1=alpha.exe\r\nname2=Beta\r\nurl2=beta.exe\r\n";
const std::string kNineBody = "[LIST]\r\nname9=Nine\r\nurl9=nine.exe\r\n[Other]\r\nkey=value\r\n";

const WholeUpgradeCase kWholeUpgradeCases[] = {
    {"MixedRows",
     {DestState::Older, DestState::OlderBySecond, DestState::SameSecond, DestState::Newer,
      DestState::Missing, DestState::Older, DestState::SameSecond, DestState::Missing,
      DestState::Missing},
     {After::Payload, After::Payload, After::Installed, After::Installed, After::Payload,
      After::Payload, After::Installed, After::Missing, After::Missing},
     "Quillo Pro 4.5",
     ListPrefix() + ListHeader("2") + kDefaultBody,
     ListPrefix() + ListHeader("3") + kDefaultBody + AppendedEntry("3", "Quillo Pro 4.5")},
    // Rows 4 and 5 share a folder, which is absent; rows 8 and 9 are installed.
    {"AbsentFolderAndInstalledOptionalRows",
     {DestState::Newer, DestState::Older, DestState::OlderBySecond, DestState::FolderAbsent,
      DestState::FolderAbsent, DestState::Missing, DestState::Older, DestState::OlderBySecond,
      DestState::Newer},
     {After::Installed, After::Payload, After::Payload, After::FolderMissing, After::FolderMissing,
      After::Payload, After::Payload, After::Payload, After::Installed},
     "Quillo Lexicon",
     ListPrefix() + ListHeader("9") + kNineBody,
     ListPrefix() + ListHeader("10") + kNineBody + AppendedEntry("10", "Quillo Lexicon")},
    // A release, fixed to the payload it was built with, takes exactly those files.
    {"ReleasedPayload",
     {DestState::Older, DestState::Older, DestState::Older, DestState::Older, DestState::Older,
      DestState::Older, DestState::Older, DestState::Older, DestState::Older},
     {After::Payload, After::Payload, After::Payload, After::Payload, After::Payload,
      After::Payload, After::Payload, After::Payload, After::Payload},
     "Quillo Pro 4.5",
     ListPrefix() + ListHeader("2") + kDefaultBody,
     ListPrefix() + ListHeader("3") + kDefaultBody + AppendedEntry("3", "Quillo Pro 4.5"),
     true},
};

std::string ParentOf(const std::string& path) {
    return path.substr(0, path.find_last_of('\\'));
}

class WholeUpgradeTest : public UpgradeRunTest,
                         public ::testing::WithParamInterface<WholeUpgradeCase> {
protected:
    // The install tree as the case says Setup must leave it: the staged tree with the payload
    // rows replaced (a copy keeps the payload file's time) and the list file rewritten.
    TreeSnapshot ExpectedTree(const WholeUpgradeCase& c, const TreeSnapshot& actual) const {
        TreeSnapshot expected = m_treeBefore;
        for (int row = 0; row < 9; ++row) {
            if (c.after[row] == After::Payload)
                expected[product::kDestinationPaths[row]] = FileRecord{
                    product::PayloadContent(row), product::PayloadTicks(row, c.dest[row])};
        }
        const std::string list = "\\QuilloHub\\modlist.ini";
        auto written = actual.find(list);
        expected[list] =
            FileRecord{c.listAfter, written == actual.end() ? -1 : written->second.ticks};
        return expected;
    }
};

TEST_P(WholeUpgradeTest, AsksTheProductToQuitThenReplacesRegistersAndEnds) {
    const WholeUpgradeCase& c = GetParam();
    product::ProductOptions options = DefaultOptions();
    std::copy(std::begin(c.dest), std::end(c.dest), options.dest);
    options.productInfo = c.productInfo;
    options.listBytes = c.listBefore;
    if (c.released)
        options.setupExeSource = BuiltFixedPayloadSetupExe();
    Stage(options);
    ASSERT_EQ(ListBefore(), c.listBefore);
    // The product takes a while to end after the quit requests, so the install tree can be
    // looked at between the requests and the end of the product.
    StartProduct({"--linger", "3000"});
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    Accept(licence);

    ExpectTreeUnchangedWhileTheProductEnds();
    ResultBox result = WaitForResult(licence);
    ExpectResult(result, kUpgradeDoneString);
    EXPECT_EQ(QuitRequestLines(m_productLog), ExpectedQuitRequestLines());
    // The run ends when its result has been answered: nothing of it remains then.
    AnswerAndExpectEnd(result, licence);

    TreeSnapshot after = SnapshotTree(m_product.installBase);
    for (int row = 0; row < 9; ++row) {
        std::string destination = m_product.destinationFiles[row];
        switch (c.after[row]) {
        case After::Payload:
            EXPECT_EQ(product::ReadFileBytes(destination), product::PayloadContent(row))
                << "row " << row + 1 << " was not replaced";
            break;
        case After::Installed:
            EXPECT_EQ(product::ReadFileBytes(destination), product::InstalledContent(row))
                << "row " << row + 1 << " was replaced";
            break;
        case After::Missing:
            EXPECT_FALSE(product::FileExists(destination)) << "row " << row + 1 << " was added";
            break;
        case After::FolderMissing:
            EXPECT_FALSE(product::FolderExists(ParentOf(destination)))
                << "row " << row + 1 << "'s folder was created";
            break;
        }
    }
    std::string list = product::ReadFileBytes(m_product.listFile);
    EXPECT_EQ(list, c.listAfter) << "the list file holds\n  " << Printable(list)
                                 << "\ninstead of\n  " << Printable(c.listAfter);
    // Nothing else changed: no stray temporary file, no other file touched.
    EXPECT_TRUE(SameTree(ExpectedTree(c, after), after));
}

INSTANTIATE_TEST_SUITE_P(Rows, WholeUpgradeTest, ::testing::ValuesIn(kWholeUpgradeCases),
                         [](const ::testing::TestParamInfo<WholeUpgradeCase>& info) {
                             return std::string(info.param.name);
                         });

// Windows of other programs, with class names close to the product's, are left alone; the
// upgrade runs as usual.
TEST_F(UpgradeRunTest, WithoutProductWindowsNothingIsAskedAndTheUpgradeSucceeds) {
    Stage(DefaultOptions());
    StartProduct({"--classes", "TindleBar2,Zenlex,TinSync_Server_"});
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    Accept(licence);

    ResultBox result = WaitForResult(licence);
    ExpectResult(result, kUpgradeDoneString);
    for (int row = 0; row < 9; ++row)
        EXPECT_EQ(product::ReadFileBytes(m_product.destinationFiles[row]),
                  product::PayloadContent(row))
            << "row " << row + 1 << " was not replaced";
    EXPECT_EQ(product::ReadFileBytes(m_product.listFile),
              ListPrefix() + ListHeader("3") + kDefaultBody +
                  AppendedEntry("3", DefaultOptions().productInfo));
    AnswerAndExpectEnd(result, licence);

    EXPECT_TRUE(QuitRequestLines(m_productLog).empty())
        << "a window of another program was asked to quit; its log:\n"
        << product::ReadFileBytes(m_productLog);
    EXPECT_TRUE(m_productProgram.IsRunning()) << "the other program ended";
}

} // namespace
} // namespace upgraderun

namespace upgraderun {
namespace {

// A program of the product running from the install tree: a person is told that the upgrade is
// complete and Windows must be restarted to finish it (3010).
TEST_F(UpgradeRunTest, AProgramRunningFromTheInstallTreeAsksForARestart) {
    Stage(DefaultOptions());
    const std::string& running = m_product.destinationFiles[5];
    const long long ticks = product::FileTicks(running);
    ASSERT_TRUE(
        ::CopyFileA(product::SiblingProgram("HoldFile.exe").c_str(), running.c_str(), FALSE) &&
        product::SetFileTicks(running, ticks));
    const std::string held = m_root + "\\held.txt";
    ASSERT_TRUE(product::WriteFileBytes(held, "held by the running program"));
    m_holders.push_back(uidriver::Process::Start(uidriver::Widen(running),
                                                 uidriver::Widen("\"" + held + "\" 600000")));
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    Accept(licence);
    ResultBox result = WaitForResult(licence);
    ExpectResult(result, kUpgradeRestartString);
    EXPECT_EQ(product::ReadFileBytes(running), product::PayloadContent(5));
    AnswerAndExpectEnd(result, licence);
}

} // namespace
} // namespace upgraderun
