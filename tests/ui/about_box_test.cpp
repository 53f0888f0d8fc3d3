// The about box: shown modally over the licence dialog when it receives a system command
// from 0x0010 to 0x001F, in Traditional Chinese whatever the user's language.
#include "ui_test_support.h"

namespace uitest {
namespace {

constexpr wchar_t kAboutCaption[] = L"\u95dc\u65bc Setup"; // 關於 Setup
constexpr wchar_t kAboutOk[] = L"\u78ba\u5b9a";            // 確定

class EveryLanguageAboutBoxTest : public SetupUiTest,
                                  public ::testing::WithParamInterface<WPARAM> {};

TEST_P(EveryLanguageAboutBoxTest, AppearsOnTheSystemCommandInTraditionalChinese) {
    uidriver::DialogTemplate aboutTemplate = ExpectedDialog(kAboutBoxTemplate, kTraditionalChinese);
    std::vector<std::wstring> expectedStatics;
    for (const uidriver::DialogTemplateItem& item : aboutTemplate.items) {
        if (item.className == L"Static" && !item.textOrdinal)
            expectedStatics.push_back(item.text);
    }
    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);
    uidriver::WindowSnapshot before = uidriver::Snapshot(dialog);

    ASSERT_TRUE(uidriver::PostSysCommand(dialog, GetParam()));
    // Any further dialog of the program; its caption is checked below.
    uidriver::WindowQuery query = uidriver::WindowQuery::Dialog();
    query.excluded = {dialog};
    HWND about = uidriver::WaitForWindow(m_program, query);
    ASSERT_NE(about, nullptr) << "no about box after system command 0x" << std::hex << GetParam()
                              << std::dec << "; windows of the program:\n"
                              << uidriver::DescribeTopLevelWindows(m_program.Id());

    std::wstring caption = uidriver::WindowText(about);
    EXPECT_EQ(caption, kAboutCaption) << "caption \"" << uidriver::Narrow(caption) << "\"";
    std::wstring ok = uidriver::ControlText(about, IDOK);
    EXPECT_EQ(ok, kAboutOk) << "button \"" << uidriver::Narrow(ok) << "\"";
    std::vector<std::wstring> statics = uidriver::StaticTexts(about);
    ASSERT_EQ(statics.size(), 2u);
    EXPECT_EQ(statics[0], L"Setup Version 1.0");
    EXPECT_TRUE(statics == expectedStatics) << "the notice lines are not template 100's";
    // Shown modally over the licence dialog, the application's main window.
    EXPECT_EQ(::GetWindow(about, GW_OWNER), dialog) << "the about box is not owned by the "
                                                       "licence dialog";
    EXPECT_FALSE(::IsWindowEnabled(dialog)) << "the licence dialog stays usable under the about "
                                               "box";
    EXPECT_TRUE(uidriver::HasStyle(about, WS_SYSMENU));

    ASSERT_TRUE(uidriver::ClickDialogButton(about, IDOK));
    ASSERT_TRUE(uidriver::WaitForWindowGone(about))
        << "the about box stayed after its button was pressed";
    ASSERT_TRUE(uidriver::WaitUntil([&] { return ::IsWindowEnabled(dialog) != FALSE; }));
    EXPECT_TRUE(m_program.IsRunning()) << "Setup ended with the about box";
    uidriver::WindowSnapshot after = uidriver::Snapshot(dialog);
    EXPECT_TRUE(after == before) << "before:\n"
                                 << uidriver::Describe(before) << "after:\n"
                                 << uidriver::Describe(after);
}

// The lowest and highest commands of the range, and one with low bits set in between.
INSTANTIATE_TEST_SUITE_P(Commands, EveryLanguageAboutBoxTest,
                         ::testing::Values(WPARAM{0x0010}, WPARAM{0x0017}, WPARAM{0x001F}),
                         [](const ::testing::TestParamInfo<WPARAM>& info) {
                             char name[16];
                             wsprintfA(name, "Command0x%04X", static_cast<unsigned>(info.param));
                             return std::string(name);
                         });

} // namespace
} // namespace uitest
