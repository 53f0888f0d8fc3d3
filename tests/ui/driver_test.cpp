// The driver's own promises that the UI tests rely on: a hanging program is ended, waits are
// bounded, and templates and strings are read back whole.
#include "ui_test_support.h"

namespace uitest {
namespace {

using DriverTest = SetupUiTest;

TEST_F(DriverTest, KillEndsAProgramThatWaitsForInput) {
    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(m_program.IsRunning());
    m_program.Kill();
    EXPECT_FALSE(m_program.IsRunning());
    EXPECT_TRUE(m_program.ExitCode().has_value());
}

TEST_F(DriverTest, WaitUntilGivesUpAndReportsFalse) {
    int calls = 0;
    EXPECT_FALSE(uidriver::WaitUntil([&] { return ++calls < 0; }, 100, 10));
    EXPECT_GE(calls, 2);
}

TEST_F(DriverTest, WaitForWindowReturnsNothingOnceTheProgramHasEnded) {
    Start(L"one two");
    ASSERT_TRUE(m_program.WaitForExit());
    EXPECT_EQ(uidriver::WaitForWindow(m_program, uidriver::WindowQuery::Dialog()), nullptr);
}

TEST_F(DriverTest, ReadsTheLicenceDialogTemplate) {
    uidriver::DialogTemplate dialog = ExpectedDialog(kLicenceDialogTemplate, kEnglish);
    EXPECT_TRUE(dialog.extended);
    EXPECT_EQ(dialog.caption, L"Setup");
    EXPECT_EQ(dialog.cx, 320);
    ASSERT_EQ(dialog.items.size(), 5u);
    EXPECT_EQ(dialog.items[0].id, IDOK);
    EXPECT_EQ(dialog.items[0].className, L"Button");
    EXPECT_EQ(dialog.items[0].text, L"Yes");
    EXPECT_EQ(dialog.items[2].id, kLicenceEditId);
    EXPECT_EQ(dialog.items[2].className, L"Edit");
    EXPECT_EQ(dialog.items[3].id, 0xFFFF);
    EXPECT_EQ(dialog.items[3].className, L"Static");

    uidriver::DialogTemplate about = ExpectedDialog(kAboutBoxTemplate, kTraditionalChinese);
    EXPECT_FALSE(about.extended);
    ASSERT_EQ(about.items.size(), 4u);
    EXPECT_EQ(about.items[0].textOrdinal, std::optional<WORD>(128));
}

TEST_F(DriverTest, ReadsStringsInTheLanguageAsked) {
    EXPECT_EQ(ExpectedString(121, kEnglish), L"Upgrade complete.Please click OK to complete.");
    EXPECT_NE(ExpectedString(121, kTraditionalChinese), ExpectedString(121, kSimplifiedChinese));
    uidriver::ResourceFile file(uidriver::Widen(m_setup.exe));
    ASSERT_TRUE(file.IsOpen());
    EXPECT_FALSE(file.String(119, kEnglish).has_value());
    EXPECT_FALSE(file.String(121, 0x0407).has_value());
}

} // namespace
} // namespace uitest

namespace uitest {
namespace {

// Run only as the child of StartMergesEnvironmentVariables, which passes the variable.
TEST(DriverChildTest, DISABLED_SeesTheMergedEnvironment) {
    char probe[64] = {};
    ::GetEnvironmentVariableA("UI_DRIVER_PROBE", probe, sizeof probe);
    EXPECT_STREQ(probe, "merged value");
    // The inherited variables are still there.
    EXPECT_GT(::GetEnvironmentVariableA("PATH", nullptr, 0), 0u);
    EXPECT_GT(::GetEnvironmentVariableA("SystemRoot", nullptr, 0), 0u);
}

TEST(DriverProcessTest, StartMergesEnvironmentVariables) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    uidriver::StartOptions options;
    options.environment = {{L"UI_DRIVER_PROBE", L"merged value"}};
    uidriver::Process child = uidriver::Process::Start(
        self,
        L"--gtest_also_run_disabled_tests "
        L"--gtest_filter=DriverChildTest.DISABLED_SeesTheMergedEnvironment",
        options);
    ASSERT_TRUE(child.Started()) << "error " << child.StartError();
    ASSERT_TRUE(child.WaitForExit());
    EXPECT_EQ(child.ExitCode(), std::optional<DWORD>(0)) << "the child did not see the variable";
}

} // namespace
} // namespace uitest
