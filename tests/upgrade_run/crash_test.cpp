// Setup killed at many moments of an upgrade with large payload files, as a crash or a power cut
// would end it: every installed file is whole at every moment, the old file or the new one; the
// next start of Setup rolls the run back (and the upgrade is then run again) or finishes it; in
// the end the product is upgraded, registered once, and its install tree holds exactly its own
// files.
#include "upgrade_run_support.h"

#include "upgrade/Journal.h"

#include <functional>

namespace upgraderun {
namespace {

struct KillCase {
    const char* name;
    // Whether the run has reached the moment to kill it, from what the test sees.
    std::function<bool(const product::StagedProduct&)> reached;
};

void PrintTo(const KillCase& c, std::ostream* os) {
    *os << c.name;
}

bool Exists(const std::string& path) {
    return product::FileExists(path);
}

// Whether the run's journal is in `state`: it has the name of that state.
bool JournalIn(const product::StagedProduct& p, JournalState state) {
    return Exists(p.installBase + JournalNameOf(state));
}

// Whether the run's journal has got to `state` or past it. A step that lasts only a few renames
// can be over before a busy machine lets the test look, so a moment is "reached" once the run is
// at it or later; the states between are built exactly by the engine's recovery tests.
bool JournalReached(const product::StagedProduct& p, JournalState state) {
    for (JournalState later : {JournalState::Committing, JournalState::Committed})
        if (later >= state && JournalIn(p, later))
            return true;
    return false;
}

const KillCase kKillCases[] = {
    {"RightAfterYes", [](const product::StagedProduct&) { return true; }},
    {"HalfStaged",
     [](const product::StagedProduct& p) {
         return Exists(p.destinationFiles[4] + "~new") ||
                JournalReached(p, JournalState::Committing);
     }},
    {"AllStaged",
     [](const product::StagedProduct& p) {
         return Exists(p.listFile + "~new") || JournalReached(p, JournalState::Committing);
     }},
    {"Committing",
     [](const product::StagedProduct& p) { return JournalReached(p, JournalState::Committing); }},
    {"FirstFileReplaced",
     [](const product::StagedProduct& p) {
         // Its size, not its content: a reading test would hold the file Setup replaces.
         WIN32_FILE_ATTRIBUTE_DATA data;
         return ::GetFileAttributesExA(p.destinationFiles[0].c_str(), GetFileExInfoStandard,
                                       &data) &&
                data.nFileSizeLow > kLargePayloadSize;
     }},
    {"Committed",
     [](const product::StagedProduct& p) { return JournalIn(p, JournalState::Committed); }},
    // Killed while the result is shown: the run is complete, only its end is missing.
    {"WhileTheResultIsShown", nullptr},
};

class CrashTest : public UpgradeRunTest, public ::testing::WithParamInterface<KillCase> {
protected:
    // Every destination is whole: the installed file or the payload file, nothing between; the
    // list likewise. Killed between the two renames that replace a file, the installed file lies
    // whole under its backup name, from where the next start puts it back.
    void ExpectEveryFileWhole(const std::string& registered) {
        for (int row = 0; row < 9; ++row) {
            const std::string& installed = m_product.destinationFiles[row];
            std::string bytes = product::FileExists(installed)
                                    ? product::ReadFileBytes(installed)
                                    : product::ReadFileBytes(installed + "~old");
            EXPECT_TRUE(bytes == product::InstalledContent(row) || bytes == LargePayload(row))
                << "row " << row + 1 << " holds " << bytes.size() << " bytes that are neither";
        }
        std::string list = product::FileExists(m_product.listFile)
                               ? product::ReadFileBytes(m_product.listFile)
                               : product::ReadFileBytes(m_product.listFile + "~old");
        EXPECT_TRUE(list == ListBefore() || list == registered) << Printable(list);
    }

    // Starts Setup again and runs it to its end: it shows the licence (accepted) unless the
    // interrupted run was complete, then its result (answered).
    void RunAgainToTheEnd(bool wasComplete) {
        uidriver::StartOptions options;
        options.workingDirectory = uidriver::Widen(m_product.setupFolder);
        m_setup =
            uidriver::Process::Start(uidriver::Widen(m_product.setupExe), L"upgrade", options);
        ASSERT_TRUE(m_setup.Started());
        HWND first = uidriver::WaitForWindow(m_setup, uidriver::WindowQuery::Dialog(), 60000);
        ASSERT_NE(first, nullptr) << "Setup showed nothing when started again";
        ResultBox result;
        HWND licence = nullptr;
        EXPECT_EQ(!wasComplete, uidriver::Control(first, kLicenceEditId) != nullptr)
            << (wasComplete ? "the complete run was run again" : "the licence was not shown");
        if (uidriver::Control(first, kLicenceEditId)) {
            licence = first;
            Accept(licence);
            result = WaitForResult(licence);
        } else {
            result = ReadBox(first);
        }
        ExpectResult(result, kUpgradeDoneString);
        ASSERT_TRUE(uidriver::AnswerMessageBox(result.window, IDOK));
        ASSERT_TRUE(m_setup.WaitForExit(60000)) << "Setup did not end";
        EXPECT_EQ(m_setup.ExitCode().value_or(STILL_ACTIVE), 0u);
    }
};

TEST_P(CrashTest, EveryFileStaysWholeAndTheNextStartCompletesTheUpgrade) {
    Stage(DefaultOptions());
    ASSERT_NO_FATAL_FAILURE(UseLargePayload());
    const std::string registered = ListRegisteredOnce();
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    Accept(licence);

    bool reached =
        GetParam().reached
            ? uidriver::WaitUntil([&] { return GetParam().reached(m_product); }, 60000, 1)
            : WaitForResult(licence).window != nullptr;
    m_setup.Kill();
    EXPECT_TRUE(reached) << "the run never reached that moment";
    ExpectEveryFileWhole(registered);
    const bool complete = JournalIn(m_product, JournalState::Committed);

    ASSERT_NO_FATAL_FAILURE(RunAgainToTheEnd(complete));
    for (int row = 0; row < 9; ++row)
        EXPECT_TRUE(product::ReadFileBytes(m_product.destinationFiles[row]) == LargePayload(row))
            << "row " << row + 1 << " was not upgraded";
    EXPECT_EQ(Printable(registered), Printable(product::ReadFileBytes(m_product.listFile)));
    // Exactly the product's files: nothing of either run is left in the install tree.
    TreeSnapshot expected = m_treeBefore;
    for (int row = 0; row < 9; ++row)
        expected[product::kDestinationPaths[row]].bytes = LargePayload(row);
    expected["\\QuilloHub\\modlist.ini"].bytes = registered;
    TreeSnapshot after = SnapshotTree(m_product.installBase);
    for (auto& [path, record] : expected)
        if (after.count(path))
            record.ticks = after[path].ticks;
    EXPECT_TRUE(SameTree(expected, after));
    EXPECT_TRUE(uidriver::WaitUntil([&] { return !product::FolderExists(m_product.setupFolder); }))
        << "Setup did not remove itself";
}

INSTANTIATE_TEST_SUITE_P(Kills, CrashTest, ::testing::ValuesIn(kKillCases),
                         [](const ::testing::TestParamInfo<KillCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace upgraderun

namespace upgraderun {
namespace {

// The list file cannot be changed by another program between Setup's read of it and its new
// content taking its place: while the payload's staged copies are being made (the list was read
// first), a program that opens the list to write is refused, and the list ends exactly as the
// upgrade made it from what it read.
TEST_F(UpgradeRunTest, TheListCannotBeChangedWhileTheUpgradeRuns) {
    Stage(DefaultOptions());
    ASSERT_NO_FATAL_FAILURE(UseLargePayload());
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    Accept(licence);

    ASSERT_TRUE(uidriver::WaitUntil([&] { return Exists(m_product.destinationFiles[0] + "~new"); },
                                    60000, 1))
        << "the staged copies were never made";
    HANDLE list = ::CreateFileA(m_product.listFile.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = ::GetLastError();
    if (list != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(list, "changed", 7, &written, nullptr);
        ::CloseHandle(list);
    }
    EXPECT_EQ(list, INVALID_HANDLE_VALUE) << "another program could write the list";
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    ResultBox result = WaitForResult(licence);
    ExpectResult(result, kUpgradeDoneString);
    AnswerAndExpectEnd(result, licence);
    EXPECT_EQ(Printable(product::ReadFileBytes(m_product.listFile)),
              Printable(ListRegisteredOnce()));
}

} // namespace
} // namespace upgraderun
