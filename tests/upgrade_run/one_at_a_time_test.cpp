// A second Setup started while one runs, from the same folder (a double click) or as another copy:
// it runs no upgrade, deletes nothing, brings the running Setup to the front and ends; the
// running one then upgrades and registers the product once.
#include "upgrade_run_support.h"

namespace upgraderun {
namespace {

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
    // Another program's window in front, as when the user double-clicks Setup.exe again.
    HWND other =
        ::CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                          200, 100, nullptr, nullptr, nullptr, nullptr);
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
    EXPECT_TRUE(SameTree(secondBefore, SnapshotTree(secondFolder))) << "the second Setup deleted";
    EXPECT_TRUE(uidriver::WaitUntil([&] { return ::GetForegroundWindow() == licence; }))
        << "the running Setup was not brought to the front";

    Accept(licence);
    ResultBox result = WaitForResult(licence);
    ExpectResult(result, kUpgradeDoneString);
    AnswerAndExpectEnd(result, licence);
    EXPECT_EQ(Printable(product::ReadFileBytes(m_product.listFile)),
              Printable(ListPrefix() + ListHeader("3") +
                        ListBefore().substr(16 + ListHeader("2").size()) +
                        AppendedEntry("3", DefaultOptions().productInfo)));
}

INSTANTIATE_TEST_SUITE_P(SecondStarts, OneAtATimeTest, ::testing::ValuesIn(kSecondStartCases),
                         [](const ::testing::TestParamInfo<SecondStartCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace upgraderun
