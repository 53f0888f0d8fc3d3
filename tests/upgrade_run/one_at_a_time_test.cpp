// A second Setup started while one runs, from the same folder (a double click) or as another copy:
// it runs no upgrade, deletes nothing, brings the running Setup to the front (not another
// program's dialog that looks like it) and ends; the running one then upgrades and registers the
// product once. A Setup that cannot tell whether another one runs says so and does nothing.
#include "upgrade_run_support.h"

namespace upgraderun {
namespace {

constexpr UINT kSetupRunningString = 126;

INT_PTR CALLBACK LookalikeProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// A dialog of the test's own that looks like Setup's licence dialog to a careless search: a
// dialog captioned "Setup" with an edit control of id 1001.
HWND CreateLookalikeDialog() {
    struct alignas(4) Template {
        DLGTEMPLATE dialog;
        WORD menu, windowClass;
        wchar_t title[6];
        WORD pointSize;
        wchar_t font[14];
        alignas(4) DLGITEMTEMPLATE item;
        WORD itemClass[2];
        WORD itemTitle, creationData;
    } t = {};
    t.dialog.style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT;
    t.dialog.cdit = 1;
    t.dialog.cx = 200;
    t.dialog.cy = 100;
    wcscpy(t.title, L"Setup");
    t.pointSize = 8;
    wcscpy(t.font, L"MS Shell Dlg");
    t.item.style = WS_CHILD | WS_VISIBLE | ES_MULTILINE;
    t.item.x = 5;
    t.item.y = 5;
    t.item.cx = 150;
    t.item.cy = 50;
    t.item.id = kLicenceEditId;
    t.itemClass[0] = 0xFFFF;
    t.itemClass[1] = 0x0081; // EDIT
    return ::CreateDialogIndirectParamW(nullptr, &t.dialog, nullptr, LookalikeProc, 0);
}

struct SecondStartCase {
    const char* name;
    bool anotherCopy; // a copy of Setup.exe and the payload in a folder of its own
};

void PrintTo(const SecondStartCase& c, std::ostream* os) {
    *os << c.name;
}

const SecondStartCase kSecondStartCases[] = {
    {"FromTheSameFolder", false},
    {"AnotherCopy", true},
};

class OneAtATimeTest : public UpgradeRunTest,
                       public ::testing::WithParamInterface<SecondStartCase> {};

TEST_P(OneAtATimeTest, ASecondSetupShowsTheFirstAndEnds) {
    Stage(DefaultOptions());
    std::string secondFolder = m_product.setupFolder;
    if (GetParam().anotherCopy) {
        secondFolder = m_root + "\\second setup";
        ASSERT_TRUE(product::MakeFolders(secondFolder));
        for (const std::string& file : m_product.payloadFiles)
            ASSERT_TRUE(::CopyFileA(file.c_str(),
                                    (secondFolder + file.substr(file.rfind('\\'))).c_str(), FALSE));
        ASSERT_TRUE(CopyBuiltSetupExe(secondFolder + "\\Setup.exe"));
    }
    const TreeSnapshot secondBefore = SnapshotTree(secondFolder);
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    // Another program's dialog in front, as when the user double-clicks Setup.exe again; it looks
    // like Setup's to a careless search.
    HWND other = CreateLookalikeDialog();
    ASSERT_NE(other, nullptr);
    struct DestroyAtEnd {
        HWND window;
        ~DestroyAtEnd() { ::DestroyWindow(window); }
    } destroyAtEnd{other};
    ASSERT_TRUE(uidriver::WaitUntil([&] {
        ::SetForegroundWindow(other);
        return ::GetForegroundWindow() == other;
    })) << "the test's window did not come to the front";

    uidriver::StartOptions options;
    options.workingDirectory = uidriver::Widen(secondFolder);
    uidriver::Process second = uidriver::Process::Start(
        uidriver::Widen(secondFolder + "\\Setup.exe"), L"upgrade", options);
    ASSERT_TRUE(second.Started());
    ASSERT_TRUE(second.WaitForExit()) << "the second Setup did not end; it shows:\n"
                                      << uidriver::DescribeTopLevelWindows(second.Id());
    EXPECT_EQ(second.ExitCode().value_or(STILL_ACTIVE), 1618u);
    EXPECT_TRUE(SameTree(secondBefore, SnapshotTree(secondFolder))) << "the second Setup deleted";
    EXPECT_TRUE(uidriver::WaitUntil([&] { return ::GetForegroundWindow() == licence; }))
        << "the running Setup was not brought to the front";

    Accept(licence);
    ResultBox result = WaitForResult(licence);
    ExpectResult(result, kUpgradeDoneString);
    AnswerAndExpectEnd(result, licence);
    EXPECT_EQ(Printable(product::ReadFileBytes(m_product.listFile)),
              Printable(ListRegisteredOnce()));
}

// Setup's lock that cannot be made (a folder of its name, which only an administrator could
// make): Setup cannot tell whether another Setup runs, says so, and does nothing.
TEST_F(UpgradeRunTest, ASetupThatCannotTellWhetherAnotherRunsSaysSoAndDoesNothing) {
    Stage(DefaultOptions());
    const TreeSnapshot setupBefore = SnapshotTree(m_product.setupFolder);
    const std::string lock = "C:\\windows\\QuilloSetup.lock";
    ASSERT_TRUE(product::MakeFolders(lock));
    struct RemoveAtEnd {
        std::string path;
        ~RemoveAtEnd() { product::DeleteTree(path); }
    } removeAtEnd{lock};

    uidriver::StartOptions options;
    options.workingDirectory = uidriver::Widen(m_product.setupFolder);
    m_setup = uidriver::Process::Start(uidriver::Widen(m_product.setupExe), L"upgrade", options);
    ASSERT_TRUE(m_setup.Started());
    HWND box = uidriver::WaitForWindow(m_setup, uidriver::WindowQuery::Dialog(), 60000);
    ASSERT_NE(box, nullptr) << "Setup ended without a word";
    ExpectResult(ReadBox(box), kSetupRunningString);
    // No window of Setup's lies under it: it stays above other programs' windows.
    EXPECT_TRUE(::GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ASSERT_TRUE(uidriver::AnswerMessageBox(box, IDOK));
    ASSERT_TRUE(m_setup.WaitForExit());
    EXPECT_EQ(m_setup.ExitCode().value_or(STILL_ACTIVE), 1618u);
    EXPECT_TRUE(SameTree(setupBefore, SnapshotTree(m_product.setupFolder)));
    EXPECT_TRUE(InstallTreeUnchanged());
}

INSTANTIATE_TEST_SUITE_P(SecondStarts, OneAtATimeTest, ::testing::ValuesIn(kSecondStartCases),
                         [](const ::testing::TestParamInfo<SecondStartCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace upgraderun
