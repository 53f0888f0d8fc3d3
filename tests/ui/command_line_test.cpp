// Starts other than with exactly one argument, and a renamed Setup.exe: what is shown and
// which files are touched.
#include "ui_test_support.h"

#include "Staging.h"

namespace uitest {
namespace {

using CommandLineTest = SetupUiTest;

// Waits for the program to end and returns a description of every visible top-level window
// it showed meanwhile; records a failure when it does not end.
std::vector<std::string> WindowsShownUntilExit(const uidriver::Process& program) {
    std::vector<std::string> seen;
    bool ended = program.WaitForExit(uidriver::kDefaultTimeoutMs, [&] {
        for (HWND window : uidriver::TopLevelWindows(program.Id())) {
            std::string description = uidriver::Narrow(uidriver::WindowClass(window)) + " \"" +
                                      uidriver::Narrow(uidriver::WindowText(window)) + "\"";
            if (seen.empty() || seen.back() != description)
                seen.push_back(description);
        }
    });
    if (!ended) {
        ADD_FAILURE() << "the program did not end";
    } else if (program.ExitCode().value_or(0) >= 0xC0000000u) {
        // An exception code: the program crashed rather than ended.
        ADD_FAILURE() << "the program ended with exception 0x" << std::hex
                      << program.ExitCode().value_or(0);
    }
    return seen;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

TEST_F(CommandLineTest, TwoArgumentsShowNoWindowAndTouchNoFile) {
    std::vector<std::string> before = FolderEntries(m_setup.folder);
    ASSERT_EQ(before.size(), 11u);
    Start(L"one two");
    std::vector<std::string> windows = WindowsShownUntilExit(m_program);
    EXPECT_TRUE(windows.empty()) << "windows shown:\n" << Joined(windows);
    EXPECT_EQ(FolderEntries(m_setup.folder), before);
    EXPECT_TRUE(FilesHold(m_setup.payload, m_setup.contents));
}

TEST_F(CommandLineTest, NoArgumentShowsNoWindowAndDeletesNothing) {
    std::vector<std::string> before = FolderEntries(m_setup.folder);
    ASSERT_EQ(before.size(), 11u);
    Start(L"");
    std::vector<std::string> windows = WindowsShownUntilExit(m_program);
    EXPECT_TRUE(windows.empty()) << "windows shown:\n" << Joined(windows);
    EXPECT_EQ(FolderEntries(m_setup.folder), before);
    EXPECT_TRUE(FilesHold(m_setup.payload, m_setup.contents));
}

TEST_F(CommandLineTest, AnyOneArgumentShowsTheLicenceDialog) {
    // An argument with blanks, quoted, is still one argument.
    Start(L"\"any text at all\"");
    uidriver::WindowQuery query = uidriver::WindowQuery::Dialog(L"Setup");
    query.predicate = [](HWND window) { return uidriver::Control(window, kLicenceEditId); };
    EXPECT_NE(uidriver::WaitForWindow(m_program, query), nullptr);
    EXPECT_TRUE(FilesHold(m_setup.payload, m_setup.contents));
}

// A setup folder name and a program name other than Setup.exe. A fixed cut of ten characters
// from the program's path would name another folder: inside the setup folder for long names,
// the parent folder for "ab\Go.exe".
struct RenamedCase {
    const char* folderName;
    const char* exeName;
};

class RenamedSetupTest : public SetupUiTest, public ::testing::WithParamInterface<RenamedCase> {};

TEST_P(RenamedSetupTest, DecliningTouchesOnlyItsOwnFolder) {
    m_setup = Stage(GetParam().folderName, GetParam().exeName);
    const std::string root = TestRoot();

    // The same nine names elsewhere: in the parent folder, in a sibling folder, and in the
    // folder a fixed ten-character cut of the program's path would give.
    std::vector<std::string> decoys, decoyContents;
    std::vector<std::string> decoyFolders = {root, root + "\\elsewhere"};
    std::string cut = m_setup.exe.substr(0, m_setup.exe.size() - 10);
    if (cut != m_setup.folder && cut != root)
        decoyFolders.push_back(cut);
    for (const std::string& folder : decoyFolders) {
        for (const std::string& path : WritePayloadCopies(folder, " decoy in " + folder)) {
            decoys.push_back(path);
            decoyContents.push_back(product::ReadFileBytes(path));
        }
    }
    ASSERT_TRUE(FilesHold(decoys, decoyContents));

    HWND dialog = OpenLicenceDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(uidriver::ClickDialogButton(dialog, IDCANCEL));
    HWND box = uidriver::WaitForMessageBox(m_program, dialog);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(uidriver::ReadMessageBox(box).caption, L"Exit Setup");
    ASSERT_TRUE(uidriver::AnswerMessageBox(box, IDYES));
    ASSERT_TRUE(m_program.WaitForExit()) << "the program did not end";

    EXPECT_TRUE(FilesGone(m_setup.payload)) << "its own payload files were not deleted";
    EXPECT_TRUE(FilesHold(decoys, decoyContents)) << "a file outside its own folder was touched";
    EXPECT_TRUE(product::FileExists(m_setup.otherFile));
}

INSTANTIATE_TEST_SUITE_P(Names, RenamedSetupTest,
                         ::testing::Values(RenamedCase{"setup", "Install.exe"},
                                           RenamedCase{"setup", "MySetup.exe"},
                                           RenamedCase{"ab", "Go.exe"}),
                         [](const ::testing::TestParamInfo<RenamedCase>& info) {
                             std::string name =
                                 std::string(info.param.folderName) + "_" + info.param.exeName;
                             for (char& c : name) {
                                 if (c == '.')
                                     c = '_';
                             }
                             return name;
                         });

// A payload name in the setup folder planted by a standard user: a symbolic link to a file
// elsewhere (kind 0) or a folder (2) is never deleted, and told; a hard link (1) is only a second
// name, whose deletion leaves the file elsewhere whole.
class PlantedPayloadTest : public SetupUiTest, public ::testing::WithParamInterface<int> {};

TEST_P(PlantedPayloadTest, DecliningNeverDeletesThroughIt) {
    const std::string victim = TestRoot() + "\\victim.txt", planted = m_setup.payload[4];
    ASSERT_TRUE(product::WriteFileBytes(victim, "not the product's") &&
                product::DeleteTree(planted));
    ASSERT_TRUE(GetParam() == 2 ? product::MakeFolders(planted)
                                : product::MakeLink(victim, planted, GetParam() == 0));
    HWND dialog = OpenLicenceDialog();
    ASSERT_TRUE(dialog && uidriver::ClickDialogButton(dialog, IDCANCEL));
    Answer(dialog, IDYES);
    if (GetParam() != 1) {
        // The licence may still be closing: the message is the other window.
        HWND box = uidriver::WaitForMessageBox(m_program, nullptr, 60000, {dialog});
        ASSERT_NE(box, nullptr) << "the refused name was not told";
        EXPECT_NE(uidriver::ReadMessageBox(box).text.find(uidriver::Widen(planted)),
                  std::wstring::npos);
        ASSERT_TRUE(uidriver::AnswerMessageBox(box, IDOK));
    }
    ASSERT_TRUE(m_program.WaitForExit()) << "the program did not end";
    EXPECT_EQ(product::ReadFileBytes(victim), "not the product's");
    EXPECT_EQ(GetParam() != 1, product::FileExists(planted) || product::FolderExists(planted));
    EXPECT_FALSE(product::FileExists(m_setup.payload[0])) << "the other payload files stayed";
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlantedPayloadTest, ::testing::Values(0, 1, 2));

} // namespace
} // namespace uitest
