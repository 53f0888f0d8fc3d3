// The licence dialog worked as a person would: the licence text, the focus order, declining
// with "No" or Escape and the "Exit Setup" question, and what declining leaves behind.
#include "ui_test_support.h"

#include "Staging.h"

namespace uitest {
namespace {

using uidriver::ReadMessageBox;
using uidriver::WaitUntil;

constexpr wchar_t kExitCaption[] = L"Exit Setup";

using LicenceDialogTest = SetupUiTest;
using EveryLanguageLicenceTest = SetupUiTest;

// Presses "No" (or Escape) and returns the "Exit Setup" box that follows; nullptr with a
// failure recorded when it does not appear.
HWND AskToQuit(const uidriver::Process& program, HWND dialog, bool byEscape) {
    if (byEscape)
        EXPECT_TRUE(uidriver::PressKey(dialog, VK_ESCAPE));
    else
        EXPECT_TRUE(uidriver::ClickDialogButton(dialog, IDCANCEL));
    HWND box = uidriver::WaitForMessageBox(program, dialog);
    if (!box)
        ADD_FAILURE() << "the \"Exit Setup\" question did not appear";
    return box;
}

TEST_F(EveryLanguageLicenceTest, ShowsTheTenPiecesJoinedInIdOrder) {
    std::wstring expected = ExpectedLicence();
    // The pieces carry their own line breaks and the English one is long; a cut at 255 or 256
    // characters or a lost join would show here.
    ASSERT_GT(expected.size(), 1000u);
    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);

    HWND licence = uidriver::Control(dialog, kLicenceEditId);
    ASSERT_NE(licence, nullptr);
    EXPECT_EQ(uidriver::WindowClass(licence), L"Edit");
    std::wstring shown = uidriver::WindowText(licence);
    EXPECT_EQ(shown.size(), expected.size()) << "in " << LanguageName(ResourceLanguage());
    EXPECT_TRUE(shown == expected) << "the licence text differs from strings 102 to 111 in "
                                   << LanguageName(ResourceLanguage()) << ":\n"
                                   << uidriver::Narrow(shown);
}

// The licence text box has no label before it: Setup names it for screen readers through the
// system's annotation service (a stand-in here), in the user's language.
TEST_F(EveryLanguageLicenceTest, NamesTheLicenceForScreenReaders) {
    ASSERT_TRUE(InstallAnnotationStandIn());
    const std::wstring name = ExpectedString(kLicenceNameString);
    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);
    HWND licence = uidriver::Control(dialog, kLicenceEditId);
    ASSERT_NE(licence, nullptr);
    // The text box itself (OBJID_CLIENT, CHILDID_SELF), its name property, this name alone.
    EXPECT_EQ(RecordedAnnotations(), std::to_string(reinterpret_cast<UINT_PTR>(licence)) +
                                         " -4 0 {608D3DF8-8128-4AA7-A428-F55E49267291} " +
                                         uidriver::Narrow(name) + "\n");
}

// Also run at 144 DPI on a screen of 800 x 600 with a taskbar (CMakeLists.txt), where the licence
// is larger than the work area: both windows are placed inside it, or the licence at its corner.
TEST_F(EveryLanguageLicenceTest, EscapeAsksExitSetupWithString120) {
    std::wstring question = ExpectedString(kConfirmExitString);
    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(uidriver::OutsideWorkArea(dialog), "");
    ASSERT_TRUE(WaitUntil([&] { return uidriver::FocusedWindow(dialog) != nullptr; }))
        << "nothing in the dialog has the keyboard focus";

    HWND box = AskToQuit(m_program, dialog, true);
    ASSERT_NE(box, nullptr);
    uidriver::MessageBoxInfo info = ReadMessageBox(box);
    // The caption is English in every language; the text is string 120 of the user's.
    EXPECT_EQ(info.caption, kExitCaption);
    EXPECT_TRUE(info.text == question) << "text: " << uidriver::Narrow(info.text);
    EXPECT_EQ(info.ButtonIds(), (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(info.owner, dialog);
    EXPECT_EQ(uidriver::OutsideWorkArea(box), "");
    EXPECT_FALSE(::IsWindowEnabled(dialog)) << "the question is not modal";

    Answer(dialog, IDNO);
    EXPECT_TRUE(m_program.IsRunning());
}

TEST_F(LicenceDialogTest, FocusStartsOnYesAndTabMovesToNoThenTheLicence) {
    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);
    HWND yes = uidriver::Control(dialog, IDOK);
    HWND no = uidriver::Control(dialog, IDCANCEL);
    HWND licence = uidriver::Control(dialog, kLicenceEditId);
    ASSERT_TRUE(yes && no && licence);

    EXPECT_TRUE(WaitUntil([&] { return uidriver::FocusedWindow(dialog) == yes; }))
        << "the focus did not start on \"Yes\"";
    EXPECT_TRUE(uidriver::HasStyle(yes, BS_DEFPUSHBUTTON));

    ASSERT_TRUE(uidriver::PressKey(dialog, VK_TAB));
    EXPECT_TRUE(WaitUntil([&] { return uidriver::FocusedWindow(dialog) == no; }))
        << "Tab did not move the focus from \"Yes\" to \"No\"";

    ASSERT_TRUE(uidriver::PressKey(dialog, VK_TAB));
    EXPECT_TRUE(WaitUntil([&] { return uidriver::FocusedWindow(dialog) == licence; }))
        << "Tab did not move the focus from \"No\" to the licence text";
    EXPECT_TRUE(m_program.IsRunning());
}

TEST_F(LicenceDialogTest, NoThenNoKeepsTheDialogOpenAndUnchanged) {
    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);
    uidriver::WindowSnapshot before = uidriver::Snapshot(dialog);

    HWND box = AskToQuit(m_program, dialog, false);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ReadMessageBox(box).caption, kExitCaption);
    Answer(dialog, IDNO);

    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(dialog) != FALSE; }))
        << "the licence dialog stayed disabled";
    EXPECT_TRUE(m_program.IsRunning());
    EXPECT_TRUE(::IsWindowVisible(dialog));
    uidriver::WindowSnapshot after = uidriver::Snapshot(dialog);
    EXPECT_TRUE(after == before) << "before:\n"
                                 << uidriver::Describe(before) << "after:\n"
                                 << uidriver::Describe(after);
    EXPECT_TRUE(FilesHold(m_setup.payload, m_setup.contents));

    // Asking again works the same way.
    box = AskToQuit(m_program, dialog, false);
    ASSERT_NE(box, nullptr);
    Answer(dialog, IDNO);
    EXPECT_TRUE(m_program.IsRunning());
}

TEST_F(LicenceDialogTest, EscapeThenNoKeepsTheDialogOpenAndUnchanged) {
    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return uidriver::FocusedWindow(dialog) != nullptr; }));
    uidriver::WindowSnapshot before = uidriver::Snapshot(dialog);

    HWND box = AskToQuit(m_program, dialog, true);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ReadMessageBox(box).caption, kExitCaption);
    Answer(dialog, IDNO);

    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(dialog) != FALSE; }));
    EXPECT_TRUE(m_program.IsRunning());
    uidriver::WindowSnapshot after = uidriver::Snapshot(dialog);
    EXPECT_TRUE(after == before) << "before:\n"
                                 << uidriver::Describe(before) << "after:\n"
                                 << uidriver::Describe(after);
}

TEST_F(LicenceDialogTest, YesToExitSetupEndsAndDeletesOnlyThePayload) {
    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);
    HWND box = AskToQuit(m_program, dialog, false);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(uidriver::AnswerMessageBox(box, IDYES));

    ASSERT_TRUE(m_program.WaitForExit()) << "Setup did not end after Yes to \"Exit Setup\"";
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_TRUE(FilesGone(m_setup.payload));
    EXPECT_TRUE(product::FileExists(m_setup.otherFile)) << "a file not of the payload was deleted";
}

TEST_F(LicenceDialogTest, EscapeThenYesEndsAndDeletesOnlyThePayload) {
    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return uidriver::FocusedWindow(dialog) != nullptr; }));
    HWND box = AskToQuit(m_program, dialog, true);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(uidriver::AnswerMessageBox(box, IDYES));

    ASSERT_TRUE(m_program.WaitForExit()) << "Setup did not end after Yes to \"Exit Setup\"";
    EXPECT_TRUE(FilesGone(m_setup.payload));
    EXPECT_TRUE(product::FileExists(m_setup.otherFile));
}

TEST_F(LicenceDialogTest, DecliningWithAPayloadFileMissingDeletesTheOtherEight) {
    // Row 3 ("\lexview.exe") is not there; the program skips it without notice.
    ASSERT_TRUE(product::DeleteTree(m_setup.payload[2]));
    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);
    HWND box = AskToQuit(m_program, dialog, false);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(uidriver::AnswerMessageBox(box, IDYES));

    ASSERT_TRUE(m_program.WaitForExit());
    EXPECT_TRUE(FilesGone(m_setup.payload));
    EXPECT_TRUE(product::FileExists(m_setup.otherFile));
}

} // namespace
} // namespace uitest
