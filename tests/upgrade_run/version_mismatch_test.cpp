// "Yes" when the installed version is not exactly "4.501": the mismatch message and nothing
// else. No product window is searched or asked to quit, no progress dialog comes up, no installed
// file or list entry changes; after OK Setup ends and deletes its payload.
#include "upgrade_run_support.h"

#include <algorithm>

namespace upgraderun {
namespace {

const VersionCase kVersionCases[] = {
    {"Missing", false, "", REG_SZ},
    {"ExtraDigit", true, "4.5010", REG_SZ},
    {"TrailingSpace", true, "4.501 ", REG_SZ},
    {"CommaForPoint", true, "4,501", REG_SZ},
    {"Number", true, "4.501", REG_DWORD},
};

class VersionMismatchTest : public UpgradeRunTest,
                            public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionMismatchTest, ShowsTheMismatchMessageAndChangesNothing) {
    const VersionCase& c = GetParam();
    product::ProductOptions options = DefaultOptions();
    options.writeVersion = c.present;
    options.version = c.version;
    options.versionType = c.type;
    Stage(options);
    StartProduct();
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    HookSetup(licence);
    Accept(licence);

    ResultBox result = WaitForResult(licence);
    ExpectResult(result, kWrongVersionString);
    std::vector<HookEvent> events = ReadHookLog(m_hookLog);
    // The hooks work: they saw the message box being set up.
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [&](const HookEvent& event) {
        return event.window == result.window && event.message == WM_INITDIALOG;
    })) << "the hooks saw nothing of the message box";
    for (const HookEvent& event : events) {
        EXPECT_FALSE(event.hasAnimation || event.className == "SysAnimate32")
            << "a progress dialog came up: " << Describe(event);
    }
    AnswerAndExpectEnd(result, licence);

    EXPECT_TRUE(QuitRequestLines(m_productLog).empty())
        << "a product window was asked to quit; the product's log:\n"
        << product::ReadFileBytes(m_productLog);
    EXPECT_TRUE(m_productProgram.IsRunning()) << "the product ended";
    EXPECT_TRUE(InstallTreeUnchanged());
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionMismatchTest, ::testing::ValuesIn(kVersionCases),
                         VersionCaseName);

} // namespace
} // namespace upgraderun
