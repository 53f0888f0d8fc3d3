// The built Setup.exe as the tests see it: the languages it has and the one it picks in a run,
// the texts and dialogs it should show read from the program file itself, a copy of it staged
// where a test needs one, and its licence dialog found once it has started.
#pragma once

#include "UiDriver.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace testsupport {

// Resource languages of Setup.exe.
constexpr LANGID kTraditionalChinese = 0x0404;
constexpr LANGID kEnglish = 0x0409;
constexpr LANGID kSimplifiedChinese = 0x0804;

// Dialog templates of Setup.exe.
constexpr UINT kAboutBoxTemplate = 100;
constexpr UINT kLicenceDialogTemplate = 102;
constexpr UINT kCopyDialogTemplate = 129;
// Controls: the licence text, and the animation of the progress dialog.
constexpr int kLicenceEditId = 1001;
constexpr int kAnimationId = 1002;
// Strings: the licence text is strings 102 to 111 joined with nothing in between; then the
// question whether to leave and the messages that end a run.
constexpr UINT kFirstLicencePiece = 102;
constexpr UINT kLastLicencePiece = 111;
constexpr UINT kConfirmExitString = 120;
constexpr UINT kUpgradeDoneString = 121;
constexpr UINT kWrongVersionString = 122;
constexpr UINT kUpgradeIncompleteString = 124;
constexpr UINT kFileErrorString = 125;
constexpr UINT kUpgradeRestartString = 127;
constexpr UINT kCloseProgramsString = 128;
// The licence text box's name for screen readers.
constexpr UINT kLicenceNameString = 129;

// The language whose resources Setup's loader picks in this run: the variant of the user's
// language among the three Setup has, English otherwise. Setup inherits the test's locale
// (LC_ALL of the Wine process tree).
LANGID ResourceLanguage();
// "English", "Traditional Chinese", "Simplified Chinese", or the number.
std::string LanguageName(LANGID language);

// The built Setup.exe beside the test program.
std::string BuiltSetupExe();
// The built SetupFixedPayload.exe beside the test program: Setup fixed to the simulated
// product's payload, to be staged under the name Setup.exe.
std::string BuiltFixedPayloadSetupExe();
// Copies the built Setup.exe to `destination` (whose folder must exist).
::testing::AssertionResult CopyBuiltSetupExe(const std::string& destination);

// String `id` of the program file `exe` in `language` (read as data, never run); records a
// failure and gives "" when it is missing.
std::wstring ResourceString(const std::string& exe, UINT id, LANGID language);
// Dialog template `id` of the program file `exe` in `language`; records a failure when it is
// missing.
uidriver::DialogTemplate ResourceDialog(const std::string& exe, UINT id, LANGID language);

// Waits for the licence dialog of a started Setup.exe: a dialog captioned "Setup" with the
// licence text control. nullptr (with a failure recorded) when it does not appear.
HWND WaitForLicenceDialog(const uidriver::Process& setup);

// How the installed version looks in the registry, for the runs in which it is not the version
// the upgrade is made for.
struct VersionCase {
    const char* name;
    bool present;
    const char* version;
    DWORD type;
};
void PrintTo(const VersionCase& version, std::ostream* out);
// The name of a case in the test's name.
std::string VersionCaseName(const ::testing::TestParamInfo<VersionCase>& info);

} // namespace testsupport
