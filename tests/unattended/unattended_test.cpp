// Setup.exe run unattended, as a distribution system or a startup script runs it: started with
// "/quiet" by a batch file ("start /wait", then %ERRORLEVEL%), with no display at all. Each
// outcome gives the exit code Windows Installer gives it; the install tree is upgraded or byte
// for byte as it was; the setup folder is never touched; the log in the temporary folder says
// what happened; no window is ever shown (there is no display to show one on).
#include "ProcessHelpers.h"
#include "ProductRegistry.h"
#include "Staging.h"
#include "UiDriver.h"
#include "engine_test_support.h"
#include "restart_manager.h"
#include "setup_program.h"
#include "test_files.h"
#include "upgrade/Journal.h"
#include "upgrade/PathRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace testsupport;
using product::DestState;

class UnattendedTest;
// Where an elevated Setup (as Setup always is, and Wine's too) writes its own logs.
const std::string kLogFolder = "C:\\windows\\logs\\QuilloSetup";
const std::string kHeader = "\xEF\xBB\xBFQuillo Setup log\r\n";

struct UnattendedCase {
    const char* name;
    int exitCode;
    bool upgraded; // the install tree holds the new files afterwards (else it is unchanged)
    std::function<void(UnattendedTest&)> arrange;
    std::vector<std::string> logLines; // each found in a line of the log
    std::string argument = "/quiet";   // "{root}" stands for the test's folder
    bool registersNow = true;          // this run registers the upgrade (an earlier one may have)
    std::string log = ""; // the log's path below the test's folder; "": Setup's newest own log
    std::vector<std::string> falseClaims = {}; // never in the log
};

void PrintTo(const UnattendedCase& c, std::ostream* os) {
    *os << c.name;
}

class UnattendedTest : public testing::TestWithParam<UnattendedCase> {
public:
    const product::StagedProduct& Product() const { return m_product; }
    std::string TempFolder() const { return m_root + "\\temp"; }
    std::string Root() const { return m_root; }
    // A file outside the product, where a planted link leads; nothing may touch it.
    std::string Victim() const { return m_root + "\\victim.txt"; }
    void Plant(const std::string& link, bool symbolic) {
        ASSERT_TRUE(product::MakeLink(Victim(), link, symbolic));
    }
    // Twelve old logs of Setup's own; twelve files of later names that Setup did not write, and a
    // folder and a link of the oldest names, which stay.
    void PlantOldLogs() {
        const std::string name = kLogFolder + "\\QuilloSetup-";
        for (int day = 10; day < 22; ++day) {
            const std::string log = name + "200001" + std::to_string(day) + "-120000-1.log";
            ASSERT_TRUE(product::WriteFileBytes(log, kHeader + "old") &&
                        product::SetFileTicks(log, 125000000000000000LL + day));
            m_planted.push_back(name + "209901" + std::to_string(day) + "-120000-1.log");
            ASSERT_TRUE(product::WriteFileBytes(m_planted.back(), "x"));
        }
        m_planted.push_back(name + "19990101-120000-1.log");
        ASSERT_TRUE(product::MakeFolders(m_planted.back()));
        m_planted.push_back(name + "19990101-120000-2.log");
        Plant(m_planted.back(), true);
    }
    // Setup's own log names for the coming seconds, each a link to the victim.
    void PlantOwnLogNames() {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        FILETIME time;
        ASSERT_TRUE(::SystemTimeToFileTime(&now, &time));
        for (int second = -1; second < 30; ++second) {
            ULARGE_INTEGER ticks = {{time.dwLowDateTime, time.dwHighDateTime}};
            ticks.QuadPart += second * 10000000LL;
            FILETIME at = {ticks.LowPart, ticks.HighPart};
            SYSTEMTIME t;
            ASSERT_TRUE(::FileTimeToSystemTime(&at, &t));
            char name[64];
            std::snprintf(name, sizeof name, "\\QuilloSetup-%04u%02u%02u-%02u%02u%02u-1.log",
                          t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
            m_planted.push_back(kLogFolder + name);
            Plant(m_planted.back(), true);
        }
    }
    // Held open without sharing, by another process, during the run.
    void Hold(const std::string& path) { m_toHold.push_back(path); }
    // Setup's lock taken, as by another Setup that runs.
    void TakeSetupLock() {
        m_lock = ::CreateFileW(L"C:\\windows\\QuilloSetup.lock", GENERIC_READ | DELETE, 0, nullptr,
                               OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        ASSERT_NE(m_lock, INVALID_HANDLE_VALUE);
    }
    // The name another Setup used for its lock, taken by a program of any user.
    void SquatTheOldLockName() {
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
        ASSERT_TRUE(product::WriteFileBytes(Victim(), "not the product's"));
    }
    void TearDown() override {
        m_holders.clear();
        RemoveRestartManagerDescription();
        if (m_lock && m_lock != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_lock);
        product::RemoveProductRegistry();
        for (const std::string& planted : m_planted)
            EXPECT_TRUE(product::DeleteTree(planted));
        uidriver::WaitUntil([this] { return product::DeleteTree(m_root); }, 5000, 100);
    }

    // Runs Setup with `arguments` as they are, past any batch file's code page.
    int RunDirectly(const std::string& arguments) {
        uidriver::Process setup = uidriver::Process::Start(uidriver::Widen(m_product.setupExe),
                                                           uidriver::Widen(arguments));
        return setup.Started() && setup.WaitForExit(60000) ? int(setup.ExitCode().value_or(-1))
                                                           : -1;
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
    std::vector<std::string> m_planted; // in Setup's log folder, all of it to stay there
};

using T = UnattendedTest;

const char kUpgradedLog[] = "Exit code 0 (upgraded)";
const char kFailedLog[] =
    "Exit code 1603 (the upgrade could not be completed; nothing was changed)";
const char kNotUnderstoodLog[] =
    "Exit code 1639 (the command line is not understood; nothing was done)";
const char kRecoveryFailedLog[] =
    "Exit code 1603 (an upgrade cut short earlier could not be rolled back or finished yet)";
// What a recovery that could not act may never say.
const std::vector<std::string> kNoRecoveryClaims = {"was rolled back:", "Nothing was changed",
                                                    "Every change"};

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
     {"Row 6, \\tindict\\Zxlook.exe: replace", "Failed: ", "Zxlook.exe: ", kFailedLog}},
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
     {"Exit code 1642 (the product is not installed, or is another version)"}},
    // With no desktop the licence cannot be shown: a failure of its own, and nothing is deleted.
    {"NoDesktopForTheLicence",
     1603,
     false,
     {},
     {"run by a person", "The licence could not be shown.",
      "Exit code 1603 (a window could not be shown; nothing was changed)"},
     "upgrade"},
    // clang-format off
    // The switches an administrator types; a command line not understood does nothing.
    {"QuietNoRestart", 0, true, {}, {kUpgradedLog}, "/quiet /norestart"},
    {"Qn", 0, true, {}, {kUpgradedLog}, "/qn"},
    {"DashQuiet", 0, true, {}, {kUpgradedLog}, "-quiet"},
    {"QuietExtra", 1639, false, {}, {"is not a switch", kNotUnderstoodLog}, "/quiet extra"},
    {"NoArgument", 1639, false, {}, {"no argument", kNotUnderstoodLog}, ""},
    {"UnknownSwitch", 1639, false, {}, {"/x", kNotUnderstoodLog}, "/quiet /x"},
    {"LogWithoutItsFile", 1639, false, {}, {kNotUnderstoodLog}, "/quiet /log"},
    {"QuietAndPassive", 1639, false, {}, {kNotUnderstoodLog}, "/quiet /passive"},
    {"LogToAFile", 0, true, {}, {kUpgradedLog}, "/quiet /log {root}\\given.log", true, "given.log"},
    // A log that cannot be made, or is one of Setup's own names: 1622, nothing done, no log.
    {"LogToAMissingFolder", 1622, false, {}, {"The log cannot be made: ", "Exit code 1622"}, "/quiet /log {root}\\gone\\given.log", true, "gone\\given.log"},
    {"LogToAReservedName", 1622, false, {}, {"The log cannot be made: ", "Exit code 1622"}, "/quiet /log {root}\\given.log~new", true, "given.log~new"},
    {"LogToAChineseName", 0, true, {}, {kUpgradedLog}, "/quiet /log {root}\\\xE6\x97\xA5\xE8\xAA\x8C.log", true, "\xE6\x97\xA5\xE8\xAA\x8C.log"},
    // With no desktop the copy window cannot be shown: nothing is done.
    {"PassiveWithNoDesktop", 1603, false, {}, {"Failed: Copy File", "(a window could not be shown"}, "/passive"},
    // Setup's own logs: the newest ten are kept, older ones deleted.
    {"OlderLogsDeleted", 0, true, [](T& t) { t.PlantOldLogs(); }, {kUpgradedLog}},
    // What a standard user can plant where Setup, elevated, writes or deletes: never followed,
    // never deleted; nothing outside the product touched, the product whole, no false claim.
    {"OwnLogNamesLinks", 0, true, [](T& t) { t.PlantOwnLogNames(); }, {kUpgradedLog}},
    {"GivenLogASymbolicLink", 0, true, [](T& t) { t.Plant(t.Root() + "\\planted.log", true); }, {kUpgradedLog}, "/quiet /log {root}\\planted.log", true, "planted.log.2"},
    {"GivenLogAHardLink", 0, true, [](T& t) { t.Plant(t.Root() + "\\planted.log", false); }, {kUpgradedLog}, "/quiet /log {root}\\planted.log", true, "planted.log.2"},
    {"PayloadALinkOutside", 1603, false, [](T& t) { ASSERT_TRUE(product::DeleteTree(t.Product().payloadFiles[4])); t.Plant(t.Product().payloadFiles[4], true); }, {"QuVoiceT.dll: The filename cannot be resolved.", kFailedLog}},
    {"StagedNameALinkOutside", 1603, false, [](T& t) { t.Plant(StagedPathOf(t.Product().destinationFiles[5]), true); }, {"Zxlook.exe~new: The filename cannot be resolved.", kRecoveryFailedLog}, "/quiet", true, "", kNoRecoveryClaims},
    {"BackupNameALinkOutside", 1603, false, [](T& t) { t.Plant(BackupPathOf(t.Product().destinationFiles[5]), true); }, {"Zxlook.exe~old: The filename cannot be resolved.", kRecoveryFailedLog}, "/quiet", true, "", kNoRecoveryClaims},
    {"BackupNameAFolder", 1603, false, [](T& t) { ASSERT_TRUE(product::MakeFolders(BackupPathOf(t.Product().destinationFiles[5]))); }, {"Zxlook.exe~old: Directory name invalid.", kRecoveryFailedLog}, "/quiet", true, "", kNoRecoveryClaims},
    {"JournalNameALinkOutside", 1603, false, [](T& t) { t.Plant(t.Product().installBase + JournalNameOf(JournalState::Committing), true); }, {"QuilloSetup.committing: The filename cannot be resolved.", kRecoveryFailedLog}, "/quiet", true, "", kNoRecoveryClaims},
    {"StagedCopyLeftEarlier", 0, true, [](T& t) { ASSERT_TRUE(product::WriteFileBytes(StagedPathOf(t.Product().destinationFiles[5]), "cut short")); }, {"was rolled back: every old file it had kept aside is back in place", kUpgradedLog}},
    {"OldLockNameTaken", 0, true, [](T& t) { t.SquatTheOldLockName(); }, {kUpgradedLog}},
    // clang-format on
};

// The bytes of the file at the UTF-8 path `path`, whatever the code page.
std::string ReadWide(const std::string& path) {
    std::ifstream file(std::filesystem::path(uidriver::Widen(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

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

    std::string argument = c.argument;
    if (argument.find("{root}") != std::string::npos)
        argument.replace(argument.find("{root}"), 6, m_root);
    const std::vector<std::string> logsBefore = FolderEntries(kLogFolder);
    const bool ascii = std::all_of(argument.begin(), argument.end(), [](char b) { return b > 0; });
    EXPECT_EQ(c.exitCode, ascii ? RunAsAScriptWould(argument) : RunDirectly(argument));

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

    EXPECT_EQ(product::ReadFileBytes(Victim()), "not the product's") << "a file outside changed";

    // Ten of Setup's own logs at most are kept, and nothing else in its folder is deleted; this
    // run's log is the one new there, or none when it could not make the log it was given.
    std::vector<std::string> logs, made;
    for (const std::string& name : FolderEntries(kLogFolder)) {
        if (product::ReadFileBytes(kLogFolder + "\\" + name).rfind(kHeader, 0) == 0)
            logs.push_back(name);
        if (std::find(logsBefore.begin(), logsBefore.end(), name) == logsBefore.end())
            made.push_back(name);
    }
    EXPECT_LE(logs.size(), 10u);
    for (const std::string& path : m_planted)
        EXPECT_TRUE(product::FileExists(path) || product::FolderExists(path)) << path;
    // A log asked for that cannot be made is never made: the default log says why.
    const bool noLog = c.exitCode == 1622;
    EXPECT_EQ(made.size(), c.log.empty() || noLog ? 1u : 0u);
    const std::string log =
        ReadWide(c.log.empty() || noLog ? kLogFolder + "\\" + made.at(0) : m_root + "\\" + c.log);
    if (noLog)
        EXPECT_FALSE(product::FileExists(m_root + "\\" + c.log));
    EXPECT_FALSE(log.empty()) << "no log";
    EXPECT_EQ(log.substr(0, 3), "\xEF\xBB\xBF") << "no log, or not marked as UTF-8";
    for (const std::string& line : c.logLines)
        EXPECT_NE(log.find(line), std::string::npos) << "the log lacks \"" << line << "\":\n"
                                                     << log;
    for (const std::string& claim : c.falseClaims)
        EXPECT_EQ(log.find(claim), std::string::npos) << "the log claims \"" << claim << "\":\n"
                                                      << log;
}

INSTANTIATE_TEST_SUITE_P(Outcomes, UnattendedTest, testing::ValuesIn(kUnattendedCases),
                         [](const testing::TestParamInfo<UnattendedCase>& info) {
                             return std::string(info.param.name);
                         });

// A program of the product running from the install tree (not one of the three windows, so
// nobody asks it to quit; in another session, so Restart Manager is not asked either): its file is
// renamed aside and replaced at once, the old one deleted at the next restart (3010). A second run
// before the restart is no failure; the restart (every process ended, wineboot -r) leaves every
// file new and nothing of the run behind.
TEST_F(UnattendedTest, AProgramRunningFromTheInstallTreeIsReplacedAndItsOldFileGoesAtTheRestart) {
    const std::string& running = m_product.destinationFiles[5];
    const long long ticks = product::FileTicks(running);
    ASSERT_TRUE(
        ::CopyFileA(product::SiblingProgram("HoldFile.exe").c_str(), running.c_str(), FALSE) &&
        product::SetFileTicks(running, ticks));
    uidriver::Process program = uidriver::Process::Start(
        uidriver::Widen(running), uidriver::Widen("\"" + Victim() + "\" 600000"));
    ASSERT_TRUE(program.Started());
    RmStandInDescription listed; // by Restart Manager, in another session: never asked to close
    listed.processes = {{program.Id(), "Quillo 辭典檢視器", CurrentSessionId() + 1}};
    listed.processes[0].files = {running};
    ASSERT_TRUE(InstallRestartManagerStandIn() && WriteRestartManagerDescription(listed));
    const TreeSnapshot before = SnapshotTree(m_product.installBase);

    EXPECT_EQ(3010, RunAsAScriptWould("/quiet /log \"" + m_root + "\\restart.log\""));
    EXPECT_NE(
        ReadWide(m_root + "\\restart.log")
            .find("Deleted at the next restart of Windows, still in use: " + running + "~del1"),
        std::string::npos)
        << "the log does not name the old file left to the restart";
    for (int row = 0; row < 9; ++row)
        EXPECT_EQ(product::PayloadContent(row),
                  product::ReadFileBytes(m_product.destinationFiles[row]));
    EXPECT_TRUE(product::FileExists(running + "~del1")) << "the old file is not kept aside";
    EXPECT_EQ(0, RunAsAScriptWould("/quiet")) << "a run before the restart failed";

    program.Kill();
    ASSERT_TRUE(program.WaitForExit());
    uidriver::Process restart =
        uidriver::Process::Start(L"C:\\windows\\system32\\wineboot.exe", L"-r");
    ASSERT_TRUE(restart.Started() && restart.WaitForExit(120000));
    TreeSnapshot after = SnapshotTree(m_product.installBase);
    after.erase("\\QuilloHub\\modlist.ini"); // registered twice: both runs upgraded
    TreeSnapshot expected = Upgraded(before);
    expected.erase("\\QuilloHub\\modlist.ini");
    EXPECT_TRUE(SameTree(expected, after));

    // A complete upgrade cut short while the program runs from its old file: finishing it leaves
    // that file to the restart too, and says so.
    ASSERT_TRUE(
        ::CopyFileA(product::SiblingProgram("HoldFile.exe").c_str(), running.c_str(), FALSE));
    program = uidriver::Process::Start(uidriver::Widen(running),
                                       uidriver::Widen("\"" + Victim() + "\" 600000"));
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(::MoveFileA(running.c_str(), BackupPathOf(running).c_str()) &&
                ::CopyFileA(BackupPathOf(running).c_str(), running.c_str(), TRUE));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExA(running.c_str(), GetFileExInfoStandard, &data));
    Journal journal;
    journal.entries.push_back({5, false, data.nFileSizeLow,
                               (static_cast<long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                   data.ftLastWriteTime.dwLowDateTime});
    ASSERT_TRUE(product::WriteFileBytes(
        m_product.installBase + JournalNameOf(JournalState::Committed), FormatJournal(journal)));
    EXPECT_EQ(3010, RunAsAScriptWould("/quiet")) << "the restart it needs is not told";
    EXPECT_TRUE(product::FileExists(running + "~del1")) << "the old file is not kept aside";
    program.Kill();
}

} // namespace
