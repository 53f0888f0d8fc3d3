#include "ui_test_support.h"

#include "ProcessHelpers.h"
#include "Staging.h"

namespace uitest {

std::vector<std::string> PayloadNames() {
    return std::vector<std::string>(product::kSourceNames, product::kSourceNames + 9);
}

std::string TestRoot() {
    return CurrentTestFolder("ui");
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
    EXPECT_TRUE(CopyBuiltSetupExe(staged.exe));
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
    return WaitForLicenceDialog(m_program);
}

std::wstring SetupUiTest::ExpectedString(UINT id, LANGID language) {
    return ResourceString(m_setup.exe, id, language);
}

std::wstring SetupUiTest::ExpectedLicence(LANGID language) {
    std::wstring licence;
    for (UINT id = kFirstLicencePiece; id <= kLastLicencePiece; ++id)
        licence += ExpectedString(id, language);
    return licence;
}

namespace {
std::string AnnotationRecord() {
    char windows[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\annotation-standin.txt";
}
} // namespace

::testing::AssertionResult InstallAnnotationStandIn() {
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);
    const std::string standIn = std::string(system) + "\\annotation-standin.dll";
    if (!::CopyFileA(product::SiblingProgram("annotation-standin.dll").c_str(), standIn.c_str(),
                     FALSE))
        return ::testing::AssertionFailure() << "cannot copy the stand-in: " << ::GetLastError();
    HKEY key = nullptr;
    LONG error = ::RegCreateKeyExA(
        HKEY_LOCAL_MACHINE,
        "Software\\Classes\\CLSID\\{B5F8350B-0548-48B1-A6EE-88BD00B4A5E7}\\InprocServer32", 0,
        nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (error == ERROR_SUCCESS) {
        static const char kModel[] = "Both";
        error =
            ::RegSetValueExA(key, nullptr, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(standIn.c_str()), standIn.size() + 1);
        if (error == ERROR_SUCCESS)
            error = ::RegSetValueExA(key, "ThreadingModel", 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(kModel), sizeof kModel);
        ::RegCloseKey(key);
    }
    if (error != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "cannot register the stand-in: error " << error;
    if (!::DeleteFileA(AnnotationRecord().c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
        return ::testing::AssertionFailure() << "cannot empty the record: " << ::GetLastError();
    return ::testing::AssertionSuccess();
}

std::string RecordedAnnotations() {
    return product::ReadFileBytes(AnnotationRecord());
}

uidriver::DialogTemplate SetupUiTest::ExpectedDialog(UINT id, LANGID language) {
    return ResourceDialog(m_setup.exe, id, language);
}

void SetupUiTest::Answer(HWND owner, int button) {
    HWND box = uidriver::WaitForMessageBox(m_program, owner);
    ASSERT_NE(box, nullptr) << "no message box";
    ASSERT_TRUE(uidriver::AnswerMessageBox(box, button)) << "the box has no button " << button;
    ASSERT_TRUE(uidriver::WaitForWindowGone(box)) << "the message box stayed";
}

} // namespace uitest
