// The progress dialog and the success message in the user's language. CTest runs this suite
// once per language (LC_ALL), naming the language it sets in UPGRADE_RUN_LANGUAGE.
#include "upgrade_run_support.h"

#include <cstdlib>

namespace upgraderun {
namespace {

struct LanguageTexts {
    const char* locale; // as UPGRADE_RUN_LANGUAGE names it
    LANGID language;
    const wchar_t* copyCaption;
    const wchar_t* copyText;
    const wchar_t* success;
};

const LanguageTexts kLanguageTexts[] = {
    {"en_US", kEnglish, L"Copy File", L"Copy file,please wait...",
     L"Upgrade complete.Please click OK to complete."},
    {"zh_TW", kTraditionalChinese, L"文件複製", L"文件複製中，請稍候﹒﹒﹒",
     L"升級程式安裝完成，請按【確定】鍵結束."},
    {"zh_CN", kSimplifiedChinese, L"文件复制", L"文件复制中，请稍候．．．",
     L"升级程序安装完成，请按【确定】键结束."},
};

const LanguageTexts* TextsOf(LANGID language) {
    for (const LanguageTexts& texts : kLanguageTexts) {
        if (texts.language == language)
            return &texts;
    }
    return nullptr;
}

using EveryLanguageUpgradeTest = UpgradeRunTest;

TEST_F(EveryLanguageUpgradeTest, ProgressDialogAndSuccessMessageInTheUserLanguage) {
    const LanguageTexts* texts = TextsOf(ResourceLanguage());
    ASSERT_NE(texts, nullptr);
    const char* wanted = std::getenv("UPGRADE_RUN_LANGUAGE");
    if (wanted) {
        ASSERT_STREQ(texts->locale, wanted)
            << "this run should be in " << wanted << " but Setup would show "
            << LanguageName(texts->language);
    }

    Stage(DefaultOptions());
    // Setup waits for the product to end with the progress dialog up.
    StartProduct({"--linger", "3000"});
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    Accept(licence);
    HWND copy = WaitForCopyDialog();
    ASSERT_NE(copy, nullptr) << "no progress dialog appeared";
    uidriver::WindowSnapshot dialog = uidriver::Snapshot(copy);

    EXPECT_TRUE(dialog.text == texts->copyCaption)
        << "caption \"" << uidriver::Narrow(dialog.text) << "\"";
    EXPECT_TRUE(dialog.style & WS_CAPTION);
    EXPECT_FALSE(dialog.style & WS_SYSMENU) << "the progress dialog has a system menu";
    // The text line and the animation control, nothing else: no button, no close box.
    ASSERT_EQ(dialog.children.size(), 2u) << uidriver::Describe(dialog);
    const uidriver::ControlInfo& line = dialog.children[0];
    const uidriver::ControlInfo& animation = dialog.children[1];
    EXPECT_EQ(line.className, L"Static");
    EXPECT_EQ(line.id, 0xFFFF);
    EXPECT_TRUE(line.text == texts->copyText) << "text \"" << uidriver::Narrow(line.text) << "\"";
    EXPECT_EQ(animation.className, L"SysAnimate32");
    EXPECT_EQ(animation.id, kAnimationId);
    for (const uidriver::ControlInfo& child : dialog.children)
        EXPECT_NE(child.className, L"Button") << "the progress dialog has a button";

    ResultBox result = WaitForResult(licence);
    ExpectResult(result, kUpgradeDoneString);
    EXPECT_TRUE(result.info.text == texts->success)
        << "text \"" << uidriver::Narrow(result.info.text) << "\"";
    AnswerAndExpectEnd(result, licence);
}

} // namespace
} // namespace upgraderun
