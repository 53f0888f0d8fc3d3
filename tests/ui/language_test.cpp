// The licence dialog in the user's language: English, Traditional Chinese or Simplified
// Chinese, chosen by the resource loader from the locale. Each test needs its run to have that
// language (LC_ALL=en_US.UTF-8, zh_TW.UTF-8 or zh_CN.UTF-8 for the Wine process tree) and fails
// in any other, since the program under test inherits the test's locale.
#include "ui_test_support.h"

namespace uitest {
namespace {

struct LanguageCase {
    LANGID language;
    const wchar_t* yes;
    const wchar_t* no;
};

constexpr LANGID kAllLanguages[] = {kEnglish, kTraditionalChinese, kSimplifiedChinese};

class LanguageTest : public SetupUiTest {
protected:
    // The texts of the text statics of template 102 in `language`, in creation order.
    std::vector<std::wstring> TemplateStatics(LANGID language) {
        std::vector<std::wstring> texts;
        for (const uidriver::DialogTemplateItem& item :
             ExpectedDialog(kLicenceDialogTemplate, language).items) {
            if (item.className == L"Static" && !item.textOrdinal)
                texts.push_back(item.text);
        }
        return texts;
    }

    void CheckLicenceDialogIn(const LanguageCase& expected) {
        ASSERT_EQ(::GetUserDefaultUILanguage(), expected.language)
            << "this run's language is not " << LanguageName(expected.language)
            << "; set LC_ALL for the test";
        ASSERT_EQ(ResourceLanguage(), expected.language);

        std::vector<std::wstring> statics = TemplateStatics(expected.language);
        ASSERT_EQ(statics.size(), 2u);
        // The variants differ, so matching one of them says which one the loader took.
        for (LANGID other : kAllLanguages) {
            if (other == expected.language)
                continue;
            ASSERT_NE(TemplateStatics(other), statics)
                << LanguageName(other) << " has the same texts";
        }
        std::wstring licence = ExpectedLicence(expected.language);

        HWND dialog = OpenLicenceDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(uidriver::WindowText(dialog), L"Setup");
        EXPECT_EQ(uidriver::ControlText(dialog, IDOK), expected.yes);
        EXPECT_EQ(uidriver::ControlText(dialog, IDCANCEL), expected.no);
        std::vector<std::wstring> shown = uidriver::StaticTexts(dialog);
        EXPECT_TRUE(shown == statics)
            << "the statics are not those of " << LanguageName(expected.language);
        EXPECT_TRUE(uidriver::ControlText(dialog, kLicenceEditId) == licence)
            << "the licence text is not the " << LanguageName(expected.language) << " one";
        // The caption has no system menu, so no icon and no close box.
        EXPECT_FALSE(uidriver::HasStyle(dialog, WS_SYSMENU));
        EXPECT_TRUE(uidriver::ExStyle(dialog) & WS_EX_APPWINDOW);
    }
};

TEST_F(LanguageTest, English) {
    CheckLicenceDialogIn({kEnglish, L"Yes", L"No"});
    if (HasFatalFailure())
        return;
    // The English texts are fixed word for word, missing spaces included.
    HWND dialog = uidriver::FindTopLevelWindow(m_program.Id(), uidriver::WindowQuery::Dialog());
    ASSERT_NE(dialog, nullptr);
    std::vector<std::wstring> shown = uidriver::StaticTexts(dialog);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], L"Welcome to Quillo setup program. It will install upgrade program to "
                        L"your computer.\r\n\r\nPlease read the following license agreement.Use "
                        L"the scroll bar to view the rest of this agreement.");
    EXPECT_EQ(shown[1], L"Do you accept all the terms of the preceding license agreement? If "
                        L"so,click on the Yes push button. If you select No,Setup will close.");
}

TEST_F(LanguageTest, TraditionalChinese) {
    CheckLicenceDialogIn({kTraditionalChinese, L"\u662f", L"\u5426"}); // 是, 否
}

TEST_F(LanguageTest, SimplifiedChinese) {
    CheckLicenceDialogIn({kSimplifiedChinese, L"\u662f", L"\u5426"}); // 是, 否
}

} // namespace
} // namespace uitest
