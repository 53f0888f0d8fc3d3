// Setup.exe run unattended, as a distribution system or a startup script runs it: started with
// "/quiet" by a batch file ("start /wait", then %ERRORLEVEL%), with no display at all. Each
// outcome gives the exit code Windows Installer gives it; the install tree is upgraded or byte
// for byte as it was; the setup folder is never touched; the log in the temporary folder says
// what happened; no window is ever shown (there is no display to show one on).
#include "ProductRegistry.h"
#include "Staging.h"
#include "UiDriver.h"
#include "engine_test_support.h"
#include "setup_program.h"
#include "test_files.h"
#include "upgrade/Journal.h"
#include "upgrade/PathRules.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace testsupport;
using product::DestState;

class UnattendedTest;

struct UnattendedCase {
    const char* name;
    int exitCode;
    bool upgraded; // the install tree holds the new files afterwards (else it is unchanged)
    std::function<void(UnattendedTest&)> arrange;
    std::vector<std::string> logLines; // each found in a line of the log
    std::string argument = "/quiet";
    bool registersNow = true;     // this run registers the upgrade (an earlier one may have)
    bool logPastItsLimit = false; // the log was past its limit: kept as the old log
};

void PrintTo(const UnattendedCase& c, std::ostream* os) {
    *os << c.name;
}

class UnattendedTest : public testing::TestWithParam<UnattendedCase> {
public:
    const product::StagedProduct& Product() const { return m_product; }
    std::string TempFolder() const { return m_root + "\\temp"; }
    // Held open without sharing, by another process, during the run.
    void Hold(const std::string& path) { m_toHold.push_back(path); }
    // Setup's lock taken, as by another Setup that runs.
    void TakeSetupLock() {
        m_lock = ::CreateMutexW(nullptr, FALSE, L"Global\\QuilloSetup.Upgrade");
        ASSERT_NE(m_lock, nullptr);
    }
    // The registry's version and install base for the product.
    void WriteRegistry(const std::string& version, const std::string& base) {
        product::ProductOptions options;
        options.version = version;
        product::RemoveProductRegistry();
        ASSERT_TRUE(product::WriteProductRegistry(options, base));
    }

protected:
    void SetUp() override {
        m_root = CurrentTestFolder("unattended");
        product::ProductOptions options;
        options.root = m_root;
        options.setupExeSource = BuiltSetupExe();
        m_product = product::StageProduct(options);
        ASSERT_FALSE(m_product.installBase.empty());
        ASSERT_TRUE(product::MakeFolders(TempFolder()));
    }
    void TearDown() override {
        m_holders.clear();
        if (m_lock)
            ::CloseHandle(m_lock);
        product::RemoveProductRegistry();
        uidriver::WaitUntil([this] { return product::DeleteTree(m_root); }, 5000, 100);
    }

    // Runs Setup as a startup script would and returns its exit code as %ERRORLEVEL% gives it;
    // -1 when the script did not end.
    int RunAsAScriptWould(const std::string& argument) {
        const std::string script = m_root + "\\deploy.bat";
        const std::string codeFile = m_root + "\\exitcode.txt";
        EXPECT_TRUE(product::WriteFileBytes(
            script, "@echo off\r\nstart \"\" /wait \"" + m_product.setupExe + "\" " + argument +
                        "\r\necho %ERRORLEVEL%> \"" + codeFile + "\"\r\n"));
        uidriver::StartOptions options;
        options.workingDirectory = uidriver::Widen(m_root);
        options.environment = {{L"TEMP", uidriver::Widen(TempFolder())},
                               {L"TMP", uidriver::Widen(TempFolder())}};
        uidriver::Process cmd = uidriver::Process::Start(
            L"C:\\windows\\system32\\cmd.exe", L"/c \"" + uidriver::Widen(script) + L"\"", options);
        EXPECT_TRUE(cmd.Started());
        if (!cmd.Started() || !cmd.WaitForExit(60000))
            return -1;
        std::string text = product::ReadFileBytes(codeFile);
        return text.empty() ? -1 : std::atoi(text.c_str());
    }

    std::string m_root;
    product::StagedProduct m_product;
    std::vector<std::string> m_toHold;
    std::vector<std::unique_ptr<enginetest::FileHolder>> m_holders;
    HANDLE m_lock = nullptr;
};

using T = UnattendedTest;

const char kUpgradedLog[] = "Exit code 0 (upgraded)";
const char kFailedLog[] =
    "Exit code 1603 (the upgrade could not be completed; nothing was changed)";

const UnattendedCase kUnattendedCases[] = {
    {"Upgraded",
     0,
     true,
     {},
     {"unattended run", "Command line: ", "Installed version: \"4.501\"",
      "Row 1, \\tindict\\qdlg.dll: replace (the payload file is newer)",
      "Row 9, \\QuilloSA\\QuilloSA.dll: replace",
      "Every change is in place, and the upgrade is registered.", kUpgradedLog}},
    {"ArgumentInCapitals", 0, true, {}, {kUpgradedLog}, "/QUIET"},
    // An earlier run was complete when it was cut short: this one finishes it.
    {"InterruptedRunFinished",
     0,
     true,
     [](T& t) {
         Journal journal;
         for (int row = 0; row < 9; ++row) {
             const std::string& installed = t.Product().destinationFiles[row];
             ASSERT_TRUE(::MoveFileA(installed.c_str(), BackupPathOf(installed).c_str()));
             ASSERT_TRUE(
                 ::CopyFileA(t.Product().payloadFiles[row].c_str(), installed.c_str(), TRUE));
             WIN32_FILE_ATTRIBUTE_DATA data;
             ASSERT_TRUE(::GetFileAttributesExA(installed.c_str(), GetFileExInfoStandard, &data));
             journal.entries.push_back(
                 {row, false, data.nFileSizeLow,
                  (static_cast<long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                      data.ftLastWriteTime.dwLowDateTime});
         }
         ASSERT_TRUE(product::WriteFileBytes(t.Product().installBase +
                                                 JournalNameOf(JournalState::Committed),
                                             FormatJournal(journal)));
     },
     {"An upgrade cut short earlier was complete: it is finished now.", kUpgradedLog},
     "/quiet",
     false},
    {"UpgradeFailed",
     1603,
     false,
     [](T& t) { t.Hold(t.Product().destinationFiles[5]); },
     {"Row 6, \\tindict\\Zxlook.exe: replace", "Failed: ", "Zxlook.exe: ", "Nothing was changed.",
      kFailedLog}},
    {"RecoveryFailed",
     1603,
     false,
     [](T& t) {
         const std::string journal =
             t.Product().installBase + JournalNameOf(JournalState::Committing);
         ASSERT_TRUE(product::WriteFileBytes(journal, "held"));
         t.Hold(journal);
     },
     {"An upgrade cut short earlier could not be rolled back or finished.",
      "QuilloSetup.committing: ",
      "Exit code 1603 (an upgrade cut short earlier could not be rolled back or finished yet)"}},
    {"AnotherSetupRunning",
     1618,
     false,
     [](T& t) { t.TakeSetupLock(); },
     {"Exit code 1618 (another Setup is running)"}},
    {"AnotherVersion",
     1642,
     false,
     [](T& t) { t.WriteRegistry("4.500", t.Product().installBase); },
     {"Installed version: \"4.500\"", "Exit code 1642 (the product is not installed, or is "
                                      "another version)"}},
    {"NotInstalledWhereTheRegistrySays",
     1642,
     false,
     [](T& t) { t.WriteRegistry("4.501", t.Product().installBase + "Gone"); },
     {"Not the product this upgrade is for, or not installed there: nothing was done."}},
    // With no desktop the licence cannot be shown: a failure of its own, and nothing is deleted.
    {"NoDesktopForTheLicence",
     1603,
     false,
     {},
     {"run by a person", "The licence could not be shown.",
      "Exit code 1603 (a window could not be shown; nothing was changed)"},
     "upgrade"},
    // A log past its limit is kept as the old log, and a new one begun.
    {"LogPastItsLimit",
     0,
     true,
     [](T& t) {
         ASSERT_TRUE(product::WriteFileBytes(t.TempFolder() + "\\QuilloSetup.log",
                                             std::string(1100000, 'o')));
     },
     {kUpgradedLog},
     "/quiet",
     true,
     true},
};

// The staged install tree with every file upgraded (with the payload file's time).
TreeSnapshot Upgraded(const TreeSnapshot& before) {
    TreeSnapshot expected = before;
    for (int row = 0; row < 9; ++row)
        expected[product::kDestinationPaths[row]] = {product::PayloadContent(row),
                                                     product::PayloadTicks(row, DestState::Older)};
    return expected;
}

TEST_P(UnattendedTest, ExitsWithItsCodeLeavesTheSetupFolderAndLogsWhatHappened) {
    const UnattendedCase& c = GetParam();
    const TreeSnapshot installBefore = SnapshotTree(m_product.installBase);
    if (c.arrange)
        ASSERT_NO_FATAL_FAILURE(c.arrange(*this));
    // Without the upgrade the tree stays as arranged, a journal that was held included.
    const TreeSnapshot arranged = SnapshotTree(m_product.installBase);
    const TreeSnapshot setupBefore = SnapshotTree(m_product.setupFolder);
    for (const std::string& path : m_toHold) {
        m_holders.push_back(std::make_unique<enginetest::FileHolder>(path));
        ASSERT_TRUE(m_holders.back()->Holding()) << m_holders.back()->Error();
    }

    EXPECT_EQ(c.exitCode, RunAsAScriptWould(c.argument));

    m_holders.clear();
    TreeSnapshot installAfter = SnapshotTree(m_product.installBase);
    TreeSnapshot expected = c.upgraded ? Upgraded(installBefore) : arranged;
    if (c.upgraded && c.registersNow) {
        // The list's time is whenever it was written; its bytes are the registered list.
        const std::string list = "\\QuilloHub\\modlist.ini";
        expected[list] = {ListPrefix() + ListHeader("3") +
                              installBefore.at(list).bytes.substr(16 + ListHeader("2").size()) +
                              AppendedEntry("3", product::ProductOptions().productInfo),
                          installAfter[list].ticks};
    }
    EXPECT_TRUE(SameTree(expected, installAfter));
    EXPECT_TRUE(SameTree(setupBefore, SnapshotTree(m_product.setupFolder)))
        << "the setup folder was touched";

    const std::string log = product::ReadFileBytes(TempFolder() + "\\QuilloSetup.log");
    EXPECT_EQ(log.substr(0, 3), "\xEF\xBB\xBF") << "the log is not marked as UTF-8";
    for (const std::string& line : c.logLines) {
        EXPECT_NE(log.find(line), std::string::npos) << "the log lacks \"" << line << "\":\n"
                                                     << log;
    }
    EXPECT_LT(log.size(), 100000u) << "the log was not begun anew";
    EXPECT_EQ(product::ReadFileBytes(TempFolder() + "\\QuilloSetup.old.log"),
              c.logPastItsLimit ? std::string(1100000, 'o') : std::string());
}

INSTANTIATE_TEST_SUITE_P(Outcomes, UnattendedTest, testing::ValuesIn(kUnattendedCases),
                         [](const testing::TestParamInfo<UnattendedCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
