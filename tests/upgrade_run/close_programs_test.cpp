// A program named in Chinese, listed by the stand-in Restart Manager, holds an installed file:
// question 128 names it whole on any system, and only Yes closes it. One that refuses, or runs in
// another session (never asked), stops the upgrade, named in the file error.
#include "upgrade_run_support.h"

#include "ProcessHelpers.h"

namespace upgraderun {
namespace {

constexpr char kName[] = "Quillo 辭典檢視器";

struct ClosingCase {
    const char* name;
    UINT answer; // IDYES, IDNO, VK_ESCAPE, VK_F4 (with Alt), SC_CLOSE; 0: not asked
    UINT result; // the result message; 0: none, the run cancelled
    const char* logLine = "";
    bool refuses = false, restartable = true;
    DWORD session = CurrentSessionId();
};

const ClosingCase kClosingCases[] = {
    {"Yes", IDYES, kUpgradeDoneString, ": closed, and started again"},
    {"YesNotRegistered", IDYES, kUpgradeDoneString, ": closed, not started again", false, false},
    {"No", IDNO, 0},
    {"Escape", VK_ESCAPE, 0},
    {"AltF4", VK_F4, 0},
    {"CloseButton", SC_CLOSE, 0},
    {"Refuses", IDYES, kUpgradeIncompleteString, ": not closed", true},
    {"OtherSession", 0, kUpgradeIncompleteString, "None of them is asked", false, true, 7},
};

class ClosingProgramsTest : public UpgradeRunTest,
                            public ::testing::WithParamInterface<ClosingCase> {};

TEST_P(ClosingProgramsTest, NamesTheProgramClosesItOnlyOnYesAndLogsWhatBecameOfIt) {
    const ClosingCase& c = GetParam();
    Stage(DefaultOptions());
    const std::string held = m_product.destinationFiles[5], again = m_root + "\\again.ready";
    std::vector<std::string> arguments = {held, "600000", "--window", kName, "--refuse"};
    if (!c.refuses)
        arguments.pop_back();
    ASSERT_TRUE(StartHelperProgram(m_holders.emplace_back(), "HoldFile.exe", arguments, again));
    RmStandInDescription holding;
    holding.processes = {{m_holders.back().Id(), kName, c.session, "main", c.restartable}};
    holding.processes[0].files = {held}; // started again, it holds another file for a moment
    holding.processes[0].command = product::QuoteArgument(product::SiblingProgram("HoldFile.exe")) +
                                   " " + m_productLog + " 1 --ready-file " + again;
    ASSERT_TRUE(InstallRestartManagerStandIn() && WriteRestartManagerDescription(holding) &&
                product::WriteFileBytes(m_productLog, "") && ::DeleteFileA(again.c_str()));
    HWND licence = OpenLicenceDialog(), box = nullptr;
    ASSERT_NE(licence, nullptr);
    Accept(licence);

    if (c.answer) {
        const ResultBox question =
            ReadBox(uidriver::WaitForMessageBox(m_setup, WaitForCopyDialog()));
        ASSERT_NE(box = question.info.window, nullptr) << "question 128 was not asked";
        std::wstring text = ExpectedString(kCloseProgramsString);
        text.replace(text.find(L"%s"), 2, uidriver::Widen(kName));
        EXPECT_TRUE(question.info.text == text) << uidriver::Narrow(question.info.text);
        EXPECT_TRUE(c.answer == SC_CLOSE    ? uidriver::PostSysCommand(box, SC_CLOSE)
                    : c.answer == VK_F4     ? uidriver::PostAltF4(box)
                    : c.answer == VK_ESCAPE ? uidriver::PostKey(box, VK_ESCAPE)
                                            : uidriver::AnswerMessageBox(box, c.answer));
    }
    if (c.result == kUpgradeIncompleteString)
        ExpectAndAnswerFileError(WaitForFileError({licence, box}), held + " (" + kName + ")",
                                 ERROR_SHARING_VIOLATION);
    if (c.result) {
        ResultBox result = WaitForResult(licence);
        ExpectResult(result, c.result);
        AnswerAndExpectEnd(result, licence, c.result != kUpgradeDoneString);
    } else {
        EXPECT_TRUE(m_setup.WaitForExit() && m_setup.ExitCode() == 1602u) << "not cancelled";
    }
    if (c.result == kUpgradeDoneString && c.restartable)
        EXPECT_TRUE(uidriver::WaitUntil([&] { return product::FileExists(again); }));
    m_holders.clear();
    EXPECT_TRUE(c.result == kUpgradeDoneString
                    ? product::ReadFileBytes(held) == product::PayloadContent(5)
                    : InstallTreeUnchanged());
    // Setup's newest log in its folder (an elevated run's).
    std::string log, name = "C:\\windows\\Logs\\QuilloSetup\\";
    for (const std::string& entry : FolderEntries(name))
        log = entry.rfind("QuilloSetup-", 0) ? log : product::ReadFileBytes(name + entry);
    EXPECT_NE(log.find(kName + std::string(" (process ")), std::string::npos) << log;
    EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Answers, ClosingProgramsTest, ::testing::ValuesIn(kClosingCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace upgraderun
