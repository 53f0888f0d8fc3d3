// "Yes" when the installed product is not the version the upgrade is made for: the mismatch
// message (string 122, captioned with the application name), then the program ends and still
// deletes its payload files.
#include "ui_test_support.h"

#include "ProductRegistry.h"
#include "Staging.h"

namespace uitest {
namespace {

class EveryLanguageVersionCheckTest : public SetupUiTest,
                                      public ::testing::WithParamInterface<VersionCase> {
protected:
    // Writes the version value alone (no install base), so nothing could be copied even if
    // the check went wrong.
    void StageVersion() {
        const VersionCase& version = GetParam();
        if (!version.present)
            return;
        product::ProductOptions options;
        options.version = version.version;
        options.versionType = version.type;
        options.writeBasePath = false;
        options.writeProductInfo = false;
        ASSERT_TRUE(product::WriteProductRegistry(options, ""));
    }

    // Accepts the licence with the "Yes" button or the Enter key and checks the mismatch
    // message, the end of the program and the payload deletion.
    void AcceptAndExpectMismatch(bool byEnter) {
        StageVersion();
        std::wstring message = ExpectedString(kWrongVersionString);
        HWND dialog = OpenLicenceDialog();
        ASSERT_NE(dialog, nullptr);
        if (byEnter) {
            HWND yes = uidriver::Control(dialog, IDOK);
            ASSERT_TRUE(uidriver::WaitUntil([&] { return uidriver::FocusedWindow(dialog) == yes; }))
                << "the focus is not on \"Yes\"";
            ASSERT_TRUE(uidriver::PressKey(dialog, VK_RETURN));
        } else {
            ASSERT_TRUE(uidriver::ClickDialogButton(dialog, IDOK));
        }

        HWND box = uidriver::WaitForMessageBox(m_program, dialog);
        ASSERT_NE(box, nullptr) << "no message after \"Yes\"";
        uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
        EXPECT_EQ(info.caption, L"Setup");
        EXPECT_TRUE(info.text == message) << "text: " << uidriver::Narrow(info.text);
        EXPECT_EQ(info.ButtonIds(), std::vector<int>{IDOK});
        EXPECT_TRUE(m_program.IsRunning());

        ASSERT_TRUE(uidriver::AnswerMessageBox(box, IDOK));
        ASSERT_TRUE(m_program.WaitForExit()) << "Setup did not end after the mismatch message";
        EXPECT_TRUE(FilesGone(m_setup.payload));
        EXPECT_TRUE(product::FileExists(m_setup.otherFile));
    }
};

TEST_P(EveryLanguageVersionCheckTest, YesShowsTheMismatchMessageAndEnds) {
    AcceptAndExpectMismatch(false);
}

TEST_P(EveryLanguageVersionCheckTest, EnterShowsTheMismatchMessageAndEnds) {
    AcceptAndExpectMismatch(true);
}

INSTANTIATE_TEST_SUITE_P(Versions, EveryLanguageVersionCheckTest,
                         ::testing::Values(VersionCase{"Absent", false, "", REG_SZ},
                                           VersionCase{"Older", true, "4.500", REG_SZ},
                                           VersionCase{"TrailingSpace", true, "4.501 ", REG_SZ},
                                           VersionCase{"Comma", true, "4,501", REG_SZ},
                                           VersionCase{"Number", true, "", REG_DWORD}),
                         VersionCaseName);

} // namespace
} // namespace uitest
