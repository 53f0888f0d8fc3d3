// The driver's own promises that the UI tests rely on: a program that does not end is ended,
// waits are bounded, a started program sees the merged environment, and dialog templates and
// strings are read back whole from a program file (the built Setup.exe beside this program).
#include "UiDriver.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

std::wstring ThisProgram() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return self;
}

std::wstring Beside(const wchar_t* name) {
    std::wstring self = ThisProgram();
    return self.substr(0, self.find_last_of(L'\\') + 1) + name;
}

// This program once more, running only the disabled test `test` of DriverChildTest.
uidriver::Process StartChild(const wchar_t* test, const uidriver::StartOptions& options = {}) {
    return uidriver::Process::Start(ThisProgram(),
                                    std::wstring(L"--gtest_also_run_disabled_tests "
                                                 L"--gtest_filter=DriverChildTest.DISABLED_") +
                                        test,
                                    options);
}

// Children of the tests below; they run only when a test starts them.
TEST(DriverChildTest, DISABLED_NeverEnds) {
    ::Sleep(INFINITE);
}

TEST(DriverChildTest, DISABLED_EndsAtOnce) {
}

TEST(DriverChildTest, DISABLED_SeesTheMergedEnvironment) {
    char probe[64] = {};
    ::GetEnvironmentVariableA("UI_DRIVER_PROBE", probe, sizeof probe);
    EXPECT_STREQ(probe, "merged value");
    // The inherited variables are still there.
    EXPECT_GT(::GetEnvironmentVariableA("PATH", nullptr, 0), 0u);
    EXPECT_GT(::GetEnvironmentVariableA("SystemRoot", nullptr, 0), 0u);
}

TEST(DriverProcessTest, KillEndsAProgramThatDoesNotEnd) {
    uidriver::Process child = StartChild(L"NeverEnds");
    ASSERT_TRUE(child.Started()) << "error " << child.StartError();
    EXPECT_FALSE(child.WaitForExit(200));
    child.Kill();
    EXPECT_FALSE(child.IsRunning());
    EXPECT_TRUE(child.ExitCode().has_value());
}

TEST(DriverProcessTest, WaitUntilGivesUpAndReportsFalse) {
    int calls = 0;
    EXPECT_FALSE(uidriver::WaitUntil([&] { return ++calls < 0; }, 100, 10));
    EXPECT_GE(calls, 2);
}

TEST(DriverProcessTest, WaitForWindowReturnsNothingOnceTheProgramHasEnded) {
    uidriver::Process child = StartChild(L"EndsAtOnce");
    ASSERT_TRUE(child.WaitForExit());
    EXPECT_EQ(uidriver::WaitForWindow(child, uidriver::WindowQuery::Dialog()), nullptr);
}

TEST(DriverProcessTest, StartMergesEnvironmentVariables) {
    uidriver::StartOptions options;
    options.environment = {{L"UI_DRIVER_PROBE", L"merged value"}};
    uidriver::Process child = StartChild(L"SeesTheMergedEnvironment", options);
    ASSERT_TRUE(child.Started()) << "error " << child.StartError();
    ASSERT_TRUE(child.WaitForExit());
    EXPECT_EQ(child.ExitCode(), std::optional<DWORD>(0)) << "the child did not see the variable";
}

constexpr LANGID kEnglish = 0x0409;
constexpr LANGID kTraditionalChinese = 0x0404;

TEST(DriverResourceTest, ReadsDialogTemplatesOfBothFormats) {
    uidriver::ResourceFile file(Beside(L"Setup.exe"));
    ASSERT_TRUE(file.IsOpen());
    std::optional<uidriver::DialogTemplate> licence = file.Dialog(102, kEnglish);
    ASSERT_TRUE(licence.has_value());
    EXPECT_TRUE(licence->extended);
    EXPECT_EQ(licence->caption, L"Setup");
    ASSERT_EQ(licence->items.size(), 5u);
    EXPECT_EQ(licence->items[0].className, L"Button");
    EXPECT_EQ(licence->items[2].className, L"Edit");
    EXPECT_EQ(licence->items[3].id, 0xFFFF);

    std::optional<uidriver::DialogTemplate> about = file.Dialog(100, kTraditionalChinese);
    ASSERT_TRUE(about.has_value());
    EXPECT_FALSE(about->extended);
    ASSERT_EQ(about->items.size(), 4u);
    EXPECT_EQ(about->items[0].textOrdinal, std::optional<WORD>(128));
}

TEST(DriverResourceTest, ReadsStringsInExactlyTheLanguageAsked) {
    uidriver::ResourceFile file(Beside(L"Setup.exe"));
    ASSERT_TRUE(file.IsOpen());
    std::optional<std::wstring> english = file.String(121, kEnglish);
    ASSERT_TRUE(english.has_value());
    EXPECT_EQ(*english, L"Upgrade complete.Please click OK to complete.");
    EXPECT_NE(file.String(121, kTraditionalChinese), english);
    EXPECT_FALSE(file.String(119, kEnglish).has_value());
    EXPECT_FALSE(file.String(121, 0x0407).has_value());
}

} // namespace
