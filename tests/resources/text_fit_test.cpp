// Every line of the dialogs' static texts is readable at 96, 120, 144 and 192 DPI in each
// language: the text, wrapped as its static wraps it, fits the static's height, and no word is
// wider than the static. The measure is the one the dialog itself makes (static_text_fit.h), not
// a picture.
//
// One row per user language, dialog template, text static and DPI. The template is the
// variant Setup's resource loader picks for that language: its own, else the one variant the
// about box has. A process measures the rows of its own DPI and language only, so each of the
// twelve is a run of its own: a process's DPI is fixed when it starts (Wine reads it then from
// LogPixels in HKCU\Control Panel\Desktop, which at-dpi.sh sets), and its locale (LC_ALL) picks
// both the template variants and the faces Wine stands in for the templates' 新細明體. A run
// selects its rows with --gtest_filter=*/<Language>_*_<dpi>dpi:TextFitRun.* (CMakeLists.txt).
//
// Setup.exe declares itself aware of each monitor's DPI: Windows gives it the DPI of the monitor
// its window is on (120 at 125 %, 144 at 150 %, 192 at 200 %) and draws its dialogs at that DPI,
// never enlarging a picture of them. Wine 8 gives every program the DPI of its prefix.
#include "static_text_fit.h"

#include "UiDriver.h"
#include "setup_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using testsupport::kEnglish;
using testsupport::kSimplifiedChinese;
using testsupport::kTraditionalChinese;

struct Language {
    LANGID id;
    const char* name;
};
constexpr Language kLanguages[] = {{kEnglish, "English"},
                                   {kTraditionalChinese, "TraditionalChinese"},
                                   {kSimplifiedChinese, "SimplifiedChinese"}};

struct Dialog {
    UINT id;
    const char* name;
};
constexpr Dialog kDialogs[] = {{testsupport::kAboutBoxTemplate, "AboutBox"},
                               {testsupport::kLicenceDialogTemplate, "LicenceDialog"},
                               {testsupport::kCopyDialogTemplate, "CopyDialog"}};

constexpr int kDpis[] = {96, 120, 144, 192};

struct Row {
    Language language; // the user's
    Dialog dialog;
    LANGID variant; // of the template, as the loader picks it for the user's language
    size_t item;    // the static's place in the template's creation order
    int dpi;
};

std::string RowName(const Row& row) {
    return std::string(row.language.name) + "_" + row.dialog.name + "_Control" +
           std::to_string(row.item + 1) + "_" + std::to_string(row.dpi) + "dpi";
}

void PrintTo(const Row& row, std::ostream* out) {
    *out << RowName(row);
}

std::wstring SetupExe() {
    return uidriver::Widen(testsupport::BuiltSetupExe());
}

// The rows, from the templates of the built Setup.exe.
std::vector<Row> MakeRows() {
    uidriver::ResourceFile setup(SetupExe());
    std::vector<Row> rows;
    for (const Language& language : kLanguages) {
        for (const Dialog& dialog : kDialogs) {
            bool own = setup.Has(uidriver::kDialogType, MAKEINTRESOURCEW(dialog.id), language.id);
            LANGID variant = own ? language.id : kTraditionalChinese;
            std::optional<uidriver::DialogTemplate> found = setup.Dialog(dialog.id, variant);
            if (!found)
                continue; // TextFitRun finds the dialog without rows
            for (size_t item = 0; item < found->items.size(); ++item) {
                if (!textfit::IsTextStatic(found->items[item]))
                    continue;
                for (int dpi : kDpis)
                    rows.push_back({language, dialog, variant, item, dpi});
            }
        }
    }
    return rows;
}

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = MakeRows();
    return rows;
}

// What was measured, for a failure message.
std::string Describe(const uidriver::DialogTemplateItem& control,
                     const textfit::StaticTextFit& fit) {
    auto size = [](LONG cx, LONG cy) { return std::to_string(cx) + " x " + std::to_string(cy); };
    int lineHeight = std::max(fit.lineHeight, 1);
    return "\"" + uidriver::Narrow(control.text) + "\" in a static of " +
           size(control.cx, control.cy) + " dialog units; font " + uidriver::Narrow(fit.faceUsed) +
           " at " + std::to_string(-fit.font.lfHeight) + " px, base units " +
           size(fit.baseUnits.cx, fit.baseUnits.cy) + ": the text takes " +
           size(fit.text.cx, fit.text.cy) + " px, " + std::to_string(fit.text.cy / lineHeight) +
           " line(s); the static has " + size(fit.control.cx, fit.control.cy) + " px, room for " +
           std::to_string(fit.control.cy / lineHeight);
}

class StaticTextFitTest : public ::testing::TestWithParam<Row> {};

TEST_P(StaticTextFitTest, EveryLineFits) {
    const Row& row = GetParam();
    ASSERT_EQ(textfit::ProcessDpi(), row.dpi)
        << "this process is not at the row's DPI: start it with at-dpi.sh";
    ASSERT_EQ(testsupport::ResourceLanguage(), row.language.id)
        << "this process's language is not " << row.language.name << ": set LC_ALL";
    uidriver::ResourceFile setup(SetupExe());
    std::string bytes =
        setup.Bytes(uidriver::kDialogType, MAKEINTRESOURCEW(row.dialog.id), row.variant);
    std::optional<uidriver::DialogTemplate> found = uidriver::ParseDialogTemplate(bytes);
    ASSERT_TRUE(found) << "no template " << row.dialog.id;
    std::optional<textfit::StaticTextFit> fit = textfit::MeasureStatic(bytes, row.item);
    ASSERT_TRUE(fit);

    // The dialog's own font: the template's face and point size at this DPI.
    EXPECT_EQ(std::wstring(fit->font.lfFaceName), found->face);
    EXPECT_EQ(fit->font.lfHeight, -::MulDiv(found->pointSize, row.dpi, 72));
    // The rectangle in pixels is the one the dialog manager gave the static.
    EXPECT_EQ(fit->control.cx, fit->clientArea.cx);
    EXPECT_EQ(fit->control.cy, fit->clientArea.cy);

    std::string measured = Describe(found->items[row.item], *fit);
    EXPECT_LE(fit->text.cy, fit->control.cy) << "the last lines are cut off: " << measured;
    EXPECT_LE(fit->text.cx, fit->control.cx) << "a word is wider than the static: " << measured;
}

INSTANTIATE_TEST_SUITE_P(Rows, StaticTextFitTest, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return RowName(info.param);
                         });

// A run measures every dialog the user sees, and its filter selects exactly the rows of its
// process's language and DPI: no run passes for having measured nothing.
TEST(TextFitRun, MeasuresEveryDialogOfItsLanguageAtItsDpi) {
    int dpi = textfit::ProcessDpi();
    LANGID language = testsupport::ResourceLanguage();
    int rowsOfThisRun = 0;
    for (const Dialog& dialog : kDialogs) {
        auto count = std::count_if(Rows().begin(), Rows().end(), [&](const Row& row) {
            return row.language.id == language && row.dialog.id == dialog.id && row.dpi == dpi;
        });
        EXPECT_GT(count, 0) << dialog.name << " has no row at " << dpi << " DPI";
        rowsOfThisRun += static_cast<int>(count);
    }
    EXPECT_EQ(::testing::UnitTest::GetInstance()->test_to_run_count(), rowsOfThisRun + 1)
        << "the filter does not select the rows of this process: " << dpi << " DPI, "
        << testsupport::LanguageName(language);
}

} // namespace
