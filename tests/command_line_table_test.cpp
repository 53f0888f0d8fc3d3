// The command line as Windows gives it: the run it starts; the log names refused; logs pruned.
#include "run/CommandLine.h"
#include "run/LogRules.h"

#include <gtest/gtest.h>

namespace {
using Mode = CommandLine::Mode;

struct LineCase {
    std::vector<const wchar_t*> arguments; // after the program name
    Mode mode;
    std::wstring logFile = L"";
};

// One argument that is not one of Setup's switches is a person's run, a fullwidth "／" no switch.
// clang-format off
const LineCase kLineCases[] = {
    {{L"/x"}, Mode::Person}, {{L"-install"}, Mode::Person}, {{L"\uFF0Fquiet"}, Mode::Person},
    {{L"/quiet"}, Mode::Quiet}, {{L"/log"}, Mode::Invalid}, {{L"/quiet", L"/passive"}, Mode::Invalid},
    {{L"/x", L"/y"}, Mode::Invalid}, {{L"-1234", L"C:\\Setup\\Setup.exe"}, Mode::Cleanup},
    {{L"/Q", L"/Log", L"C:\\\u65E5\u8A8C.log"}, Mode::Quiet, L"C:\\\u65E5\u8A8C.log"}};
// clang-format on

class CommandLineTableTest : public testing::TestWithParam<LineCase> {};

TEST_P(CommandLineTableTest, GivesTheRunAndItsLog) {
    std::vector<const wchar_t*> argv = {L"Setup.exe"};
    argv.insert(argv.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const CommandLine line = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(GetParam().mode, line.mode);
    EXPECT_EQ(GetParam().logFile, line.logFile);
    EXPECT_EQ(line.mode == Mode::Person ? argv[1] : L"", line.argument);
}

INSTANTIATE_TEST_SUITE_P(Lines, CommandLineTableTest, testing::ValuesIn(kLineCases));

TEST(LogNameTest, DevicesAndSetupsOwnNamesAreRefused) {
    for (const wchar_t* name :
         {L"NUL", L"C:\\Logs\\con.txt", L"lpt9.log ", L"\\\\.\\pipe\\x", L"\\\\?\\C:\\q.log",
          L"C:\\Logs\\*.log", L"C:\\Logs\\", L"C:\\Q\\Zxlook.exe~new", L"a~OLD", L"a.exe~del3",
          L"a.exe~del42", L"C:\\Q\\quillosetup.Committed", L"C:\\Windows\\QuilloSetup.lock"})
        EXPECT_NE(RefusedLogName(name), nullptr) << testing::PrintToString(name);
    for (const wchar_t* name : {L"C:\\Logs\\Quillo.log", L"C:\\\u65E5\u8A8C\\q.log", L"a.exe~del0",
                                L"C:\\Logs\\command.com"})
        EXPECT_EQ(RefusedLogName(name), nullptr) << testing::PrintToString(name);
}

TEST(OlderLogTest, OnlySetupsOwnLogsCountAndTheNewestStay) {
    // Two kept: a link or folder (not plain) and a file Setup did not write count for nothing.
    const std::vector<FoundLog> found = {{L"1", 5, true, true},  {L"2", 7, true, true},
                                         {L"3", 6, true, true},  {L"4", 9, false, true},
                                         {L"5", 9, true, false}, {L"6", 6, true, true}};
    const bool older[] = {true, false, true, false, false, false};
    for (size_t i = 0; i < found.size(); ++i)
        EXPECT_EQ(older[i], IsOlderLog(found, i, 2)) << i;
}

} // namespace
