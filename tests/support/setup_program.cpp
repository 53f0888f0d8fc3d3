#include "setup_program.h"

#include "ProcessHelpers.h"

namespace testsupport {

namespace {

// The resource `found` holds; when it is missing, records a failure naming it and gives an
// empty one.
template <class Resource>
Resource FoundOrEmpty(const std::optional<Resource>& found, const char* kind, UINT id,
                      LANGID language) {
    if (!found)
        ADD_FAILURE() << kind << " " << id << " in " << LanguageName(language) << " is missing";
    return found.value_or(Resource());
}

} // namespace

LANGID ResourceLanguage() {
    LANGID user = ::GetUserDefaultUILanguage();
    if (user == kTraditionalChinese || user == kSimplifiedChinese)
        return user;
    return kEnglish;
}

std::string LanguageName(LANGID language) {
    switch (language) {
    case kEnglish:
        return "English";
    case kTraditionalChinese:
        return "Traditional Chinese";
    case kSimplifiedChinese:
        return "Simplified Chinese";
    default:
        return "language " + std::to_string(language);
    }
}

std::string BuiltSetupExe() {
    return product::SiblingProgram("Setup.exe");
}

std::string BuiltFixedPayloadSetupExe() {
    return product::SiblingProgram("SetupFixedPayload.exe");
}

::testing::AssertionResult CopyBuiltSetupExe(const std::string& destination) {
    std::string source = BuiltSetupExe();
    if (!::CopyFileW(uidriver::Widen(source).c_str(), uidriver::Widen(destination).c_str(), FALSE))
        return ::testing::AssertionFailure() << "cannot copy " << source << " to " << destination
                                             << ": error " << ::GetLastError();
    return ::testing::AssertionSuccess();
}

std::wstring ResourceString(const std::string& exe, UINT id, LANGID language) {
    uidriver::ResourceFile file(uidriver::Widen(exe));
    return FoundOrEmpty(file.String(id, language), "string", id, language);
}

uidriver::DialogTemplate ResourceDialog(const std::string& exe, UINT id, LANGID language) {
    uidriver::ResourceFile file(uidriver::Widen(exe));
    return FoundOrEmpty(file.Dialog(id, language), "dialog", id, language);
}

HWND WaitForLicenceDialog(const uidriver::Process& setup) {
    uidriver::WindowQuery query = uidriver::WindowQuery::Dialog(L"Setup");
    query.predicate = [](HWND window) { return uidriver::Control(window, kLicenceEditId); };
    HWND dialog = uidriver::WaitForWindow(setup, query);
    if (!dialog)
        ADD_FAILURE() << "the licence dialog did not appear"
                      << (setup.IsRunning() ? "" : "; Setup ended");
    return dialog;
}

void PrintTo(const VersionCase& version, std::ostream* out) {
    *out << version.name;
}

std::string VersionCaseName(const ::testing::TestParamInfo<VersionCase>& info) {
    return info.param.name;
}

} // namespace testsupport
