// The simulated product's running programs: QuilloProduct.exe logs the messages its windows
// receive and ends once asked to quit; a hung window never answers; HoldFile.exe keeps a file
// from being opened. Everything lies below C:\QuilloTests\running.
#include "ProcessHelpers.h"
#include "Staging.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace {

const char kFolder[] = "C:\\QuilloTests\\running";
const std::string kLog = std::string(kFolder) + "\\messages.log";
const std::string kReady = std::string(kFolder) + "\\ready";
constexpr DWORD kStartMilliseconds = 30000;
constexpr DWORD kEndMilliseconds = 10000;

// The log's lines for WM_DESTROY and WM_CLOSE, the quit requests, in their order.
std::vector<std::string> QuitLines() {
    std::vector<std::string> lines;
    std::istringstream log(product::ReadFileBytes(kLog));
    for (std::string line; std::getline(log, line);) {
        if (line.find(" 0x0002 ") != std::string::npos ||
            line.find(" 0x0010 ") != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

bool Send(const char* windowClass, UINT message, WPARAM wParam, LPARAM lParam,
          UINT milliseconds = 5000) {
    HWND window = FindWindowA(windowClass, nullptr);
    DWORD_PTR result = 0;
    return window != nullptr && SendMessageTimeoutA(window, message, wParam, lParam,
                                                    SMTO_ABORTIFHUNG, milliseconds, &result);
}

bool HasEnded(HANDLE process, DWORD milliseconds) {
    return WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
}

class RunningProductTest : public ::testing::Test {
protected:
    void SetUp() override {
        product::DeleteTree(kFolder);
        ASSERT_TRUE(product::MakeFolders(kFolder));
    }
    void TearDown() override {
        for (HANDLE process : processes) {
            TerminateProcess(process, 9);
            WaitForSingleObject(process, kEndMilliseconds);
            CloseHandle(process);
        }
        product::DeleteTree(kFolder);
        RemoveDirectoryA("C:\\QuilloTests");
    }
    // Starts a program lying next to this test and waits for its ready file.
    HANDLE Start(const char* program, std::vector<std::string> arguments) {
        arguments.push_back("--ready-file");
        arguments.push_back(kReady);
        HANDLE process = product::StartProgram(product::SiblingProgram(program), arguments);
        if (process != nullptr) {
            processes.push_back(process);
            if (!product::WaitForFile(kReady, kStartMilliseconds, process)) {
                DWORD exitCode = 0;
                GetExitCodeProcess(process, &exitCode);
                ADD_FAILURE() << program << " did not come up, exit code " << exitCode << "; log:\n"
                              << product::ReadFileBytes(kLog);
            }
        }
        return process;
    }
    std::vector<HANDLE> processes;
};

TEST_F(RunningProductTest, ZenlexTestLogsCloseAndEnds) {
    HANDLE process = Start("QuilloProduct.exe", {kLog, "--classes", "ZenlexTest"});
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(FindWindowA("TindleBar", nullptr), nullptr);
    ASSERT_TRUE(Send("ZenlexTest", WM_CLOSE, 0, 0));
    ASSERT_TRUE(HasEnded(process, kEndMilliseconds));
    DWORD exitCode = 99;
    GetExitCodeProcess(process, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(QuitLines(), std::vector<std::string>{"ZenlexTest 0x0010 0x00000000 0x00000000"});
}

TEST_F(RunningProductTest, EndsOnlyWhenEveryWindowWasAskedAndLogsInOrder) {
    HANDLE process = Start("QuilloProduct.exe", {kLog});
    ASSERT_NE(process, nullptr);
    ASSERT_TRUE(Send("TindleBar", WM_DESTROY, 0x5555, 0xAAAA));
    ASSERT_TRUE(Send("TindleBar", WM_DESTROY, 0, 0)); // no marker: not a quit request
    ASSERT_TRUE(Send("ZenlexTest", WM_CLOSE, 0, 0));
    EXPECT_FALSE(HasEnded(process, 500));
    ASSERT_TRUE(Send("TinSync_Server", WM_CLOSE, 0x12, 0x34));
    ASSERT_TRUE(HasEnded(process, kEndMilliseconds));
    std::vector<std::string> expected = {
        "TindleBar 0x0002 0x00005555 0x0000AAAA", "TindleBar 0x0002 0x00000000 0x00000000",
        "ZenlexTest 0x0010 0x00000000 0x00000000", "TinSync_Server 0x0010 0x00000012 0x00000034"};
    EXPECT_EQ(QuitLines(), expected);
}

TEST_F(RunningProductTest, HungWindowNeverAnswers) {
    HANDLE process = Start("QuilloProduct.exe",
                           {kLog, "--classes", "TinSync_Server", "--hang", "TinSync_Server"});
    ASSERT_NE(process, nullptr);
    EXPECT_FALSE(Send("TinSync_Server", WM_CLOSE, 0, 0, 1000));
    EXPECT_FALSE(HasEnded(process, 500));
    EXPECT_EQ(QuitLines(), std::vector<std::string>{"TinSync_Server 0x0010 0x00000000 0x00000000"});
}

TEST_F(RunningProductTest, SeparateProcessesEndOneByOne) {
    HANDLE parent = Start("QuilloProduct.exe", {kLog, "--processes"});
    ASSERT_NE(parent, nullptr);
    DWORD zenlexId = 0;
    DWORD tindleId = 0;
    GetWindowThreadProcessId(FindWindowA("ZenlexTest", nullptr), &zenlexId);
    GetWindowThreadProcessId(FindWindowA("TindleBar", nullptr), &tindleId);
    ASSERT_NE(zenlexId, 0u);
    ASSERT_NE(zenlexId, tindleId);
    HANDLE zenlex = OpenProcess(SYNCHRONIZE, FALSE, zenlexId);
    ASSERT_NE(zenlex, nullptr);
    ASSERT_TRUE(Send("ZenlexTest", WM_CLOSE, 0, 0));
    EXPECT_TRUE(HasEnded(zenlex, kEndMilliseconds));
    CloseHandle(zenlex);
    EXPECT_NE(FindWindowA("TindleBar", nullptr), nullptr);
    EXPECT_FALSE(HasEnded(parent, 0));
    ASSERT_TRUE(Send("TindleBar", WM_DESTROY, 0x5555, 0xAAAA));
    ASSERT_TRUE(Send("TinSync_Server", WM_CLOSE, 0, 0));
    EXPECT_TRUE(HasEnded(parent, kEndMilliseconds));
}

TEST_F(RunningProductTest, HoldFileKeepsOthersOut) {
    std::string held = std::string(kFolder) + "\\held.dll";
    ASSERT_TRUE(product::WriteFileBytes(held, "bytes"));
    HANDLE holder = Start("HoldFile.exe", {held, "60000"});
    ASSERT_NE(holder, nullptr);
    HANDLE file = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }

    HANDLE missing =
        product::StartProgram(product::SiblingProgram("HoldFile.exe"), {held + ".none", "10"});
    ASSERT_NE(missing, nullptr);
    processes.push_back(missing);
    ASSERT_TRUE(HasEnded(missing, kEndMilliseconds));
    DWORD exitCode = 0;
    GetExitCodeProcess(missing, &exitCode);
    EXPECT_EQ(exitCode, 2u);
}

} // namespace
