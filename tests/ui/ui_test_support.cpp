#include "ui_test_support.h"

#include "Staging.h"

#include <algorithm>

namespace uitest {

namespace {

constexpr char kTestsRoot[] = "C:\\QuilloTests\\ui";

// The folder of the running test program, where the build puts Setup.exe too.
std::wstring OwnFolder() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path, length);
    size_t cut = full.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : full.substr(0, cut);
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

std::vector<std::string> PayloadNames() {
    return std::vector<std::string>(product::kSourceNames, product::kSourceNames + 9);
}

std::string TestRoot() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "none";
    for (char& c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '_' || c == '-';
        if (!plain)
            c = '_';
    }
    return std::string(kTestsRoot) + "\\" + name;
}

std::vector<std::string> WritePayloadCopies(const std::string& folder, const std::string& tag) {
    product::MakeFolders(folder);
    std::vector<std::string> paths;
    std::vector<std::string> names = PayloadNames();
    for (size_t row = 0; row < names.size(); ++row) {
        std::string path = folder + names[row];
        product::WriteFileBytes(path, product::PayloadContent(static_cast<int>(row)) + tag);
        paths.push_back(path);
    }
    return paths;
}

::testing::AssertionResult FilesHold(const std::vector<std::string>& paths,
                                     const std::vector<std::string>& contents) {
    if (paths.size() != contents.size())
        return ::testing::AssertionFailure() << "paths and contents differ in number";
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!product::FileExists(paths[i]))
            return ::testing::AssertionFailure() << paths[i] << " is missing";
        if (product::ReadFileBytes(paths[i]) != contents[i])
            return ::testing::AssertionFailure() << paths[i] << " was changed";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult FilesGone(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (product::FileExists(path))
            return ::testing::AssertionFailure() << path << " still exists";
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void SetupUiTest::SetUp() {
    product::RemoveProductRegistry();
    ASSERT_TRUE(product::DeleteTree(TestRoot())) << "cannot clear " << TestRoot();
    m_setup = Stage();
}

void SetupUiTest::TearDown() {
    m_program.Kill();
    product::RemoveProductRegistry();
    // The program may still hold a file for a moment after it ended.
    uidriver::WaitUntil([] { return product::DeleteTree(TestRoot()); }, 5000, 100);
}

StagedSetup SetupUiTest::Stage(const std::string& folderName, const std::string& exeName) {
    StagedSetup staged;
    product::DeleteTree(TestRoot());
    staged.folder = TestRoot() + "\\" + folderName;
    staged.exe = staged.folder + "\\" + exeName;
    staged.payload = WritePayloadCopies(staged.folder, " in the setup folder");
    for (const std::string& path : staged.payload)
        staged.contents.push_back(product::ReadFileBytes(path));
    staged.otherFile = staged.folder + "\\notes.txt";
    product::WriteFileBytes(staged.otherFile,
                            "a file of the user's, not one of the payload files\r\n");
    std::wstring source = OwnFolder() + L"\\Setup.exe";
    EXPECT_TRUE(::CopyFileW(source.c_str(), uidriver::Widen(staged.exe).c_str(), FALSE))
        << "cannot copy " << uidriver::Narrow(source) << " to " << staged.exe;
    return staged;
}

void SetupUiTest::Start(const std::wstring& arguments) {
    uidriver::StartOptions options;
    options.workingDirectory = uidriver::Widen(m_setup.folder);
    m_program = uidriver::Process::Start(uidriver::Widen(m_setup.exe), arguments, options);
    ASSERT_TRUE(m_program.Started())
        << "cannot start " << m_setup.exe << ": error " << m_program.StartError();
}

HWND SetupUiTest::OpenLicenceDialog() {
    Start(L"upgrade");
    if (!m_program.Started())
        return nullptr;
    uidriver::WindowQuery query = uidriver::WindowQuery::Dialog(L"Setup");
    query.predicate = [](HWND window) { return uidriver::Control(window, kLicenceEditId); };
    HWND dialog = uidriver::WaitForWindow(m_program, query);
    if (!dialog)
        ADD_FAILURE() << "the licence dialog did not appear"
                      << (m_program.IsRunning() ? "" : "; the program ended");
    return dialog;
}

std::wstring SetupUiTest::ExpectedString(UINT id, LANGID language) {
    uidriver::ResourceFile file(uidriver::Widen(m_setup.exe));
    std::optional<std::wstring> text = file.String(id, language);
    if (!text)
        ADD_FAILURE() << "string " << id << " in " << LanguageName(language) << " is missing";
    return text.value_or(std::wstring());
}

std::wstring SetupUiTest::ExpectedLicence(LANGID language) {
    std::wstring licence;
    for (UINT id = kFirstLicencePiece; id <= kLastLicencePiece; ++id)
        licence += ExpectedString(id, language);
    return licence;
}

uidriver::DialogTemplate SetupUiTest::ExpectedDialog(UINT id, LANGID language) {
    uidriver::ResourceFile file(uidriver::Widen(m_setup.exe));
    std::optional<uidriver::DialogTemplate> dialog = file.Dialog(id, language);
    if (!dialog)
        ADD_FAILURE() << "dialog " << id << " in " << LanguageName(language) << " is missing";
    return dialog.value_or(uidriver::DialogTemplate());
}

void SetupUiTest::Answer(HWND owner, int button) {
    HWND box = uidriver::WaitForMessageBox(m_program, owner);
    ASSERT_NE(box, nullptr) << "no message box";
    ASSERT_TRUE(uidriver::AnswerMessageBox(box, button)) << "the box has no button " << button;
    ASSERT_TRUE(uidriver::WaitForWindowGone(box)) << "the message box stayed";
}

} // namespace uitest
