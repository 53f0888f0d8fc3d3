// A file error while the application list is rewritten, caused for real: the product lies on a
// small file system that the test fills up, so writing the list's new content fails for lack of
// space. Setup reports the error in a message box that names the file and the error, ends the
// progress dialog by itself, leaves the list file as it was, and shows the "could not be
// completed" message. The folder C:\QuilloFullDisk is that file system, provided by
// full_disk.sh before the tests run; without it the test skips.
#include "upgrade_run_support.h"

namespace upgraderun {
namespace {

constexpr char kFullDisk[] = "C:\\QuilloFullDisk";

// Writes `path` in chunks of shrinking size until no byte more fits on its disk; true when the
// disk was filled (a write failed for lack of space).
bool FillDisk(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string chunk(65536, 'f');
    DWORD lastError = 0;
    for (DWORD size : {65536u, 4096u, 512u, 1u}) {
        for (;;) {
            DWORD written = 0;
            if (!::WriteFile(file, chunk.data(), size, &written, nullptr) || written < size) {
                lastError = ::GetLastError();
                break;
            }
        }
    }
    ::CloseHandle(file);
    return lastError == ERROR_DISK_FULL || lastError == ERROR_HANDLE_DISK_FULL;
}

// The system's description of `error` without its line end, as message boxes show it.
std::wstring SystemErrorText(DWORD error) {
    wchar_t* text = nullptr;
    DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = length && text ? std::wstring(text, length) : std::wstring();
    if (text)
        ::LocalFree(text);
    while (!result.empty() && (result.back() == L'\r' || result.back() == L'\n'))
        result.pop_back();
    return result;
}

class FullDiskTest : public UpgradeRunTest {
protected:
    void SetUp() override {
        if (!product::FolderExists(kFullDisk))
            GTEST_SKIP() << kFullDisk << " is missing: full_disk.sh could not mount a file "
                         << "system of its own here";
        UpgradeRunTest::SetUp();
        // The product and the setup folder on the small disk.
        m_root = std::string(kFullDisk) + "\\upgrade";
        ASSERT_TRUE(product::DeleteTree(m_root)) << "cannot clear " << m_root;
    }
};

TEST_F(FullDiskTest, AFileErrorIsReportedAndNothingChanges) {
    product::ProductOptions options = DefaultOptions();
    // No row is copied, so the disk's lack of space first shows when the list is rewritten.
    for (product::DestState& state : options.dest)
        state = product::DestState::Newer;
    Stage(options);
    ASSERT_TRUE(FillDisk(m_root + "\\filler")) << kFullDisk << " could not be filled";
    ASSERT_FALSE(product::WriteFileBytes(m_root + "\\probe", std::string(200, 'p')))
        << "the disk still takes a small file";
    product::DeleteTree(m_root + "\\probe");

    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    Accept(licence);
    HWND copy = WaitForCopyDialog();
    ASSERT_NE(copy, nullptr) << "no progress dialog appeared";

    // The error message: a box of Setup's that is neither of its dialogs.
    uidriver::WindowQuery errorQuery = uidriver::WindowQuery::Dialog();
    errorQuery.excluded = {licence, copy};
    HWND errorBox = uidriver::WaitForWindow(m_setup, errorQuery, 60000);
    ASSERT_NE(errorBox, nullptr) << "no file error was reported; Setup shows:\n"
                                 << uidriver::DescribeTopLevelWindows(m_setup.Id());
    uidriver::MessageBoxInfo error;
    uidriver::WaitUntil([&] {
        error = uidriver::ReadMessageBox(errorBox);
        return !error.text.empty() || !::IsWindow(errorBox);
    });
    EXPECT_EQ(error.caption, L"Setup");
    EXPECT_EQ(error.ButtonIds(), std::vector<int>{IDOK});
    EXPECT_TRUE(HasIcon(errorBox)) << "the error message shows no icon";
    // String 125 with the file's path and the system's description of the error: the file is
    // one the upgrade writes in the install base.
    std::wstring format = ExpectedString(kFileErrorString);
    size_t first = format.find(L"%s");
    size_t second = format.find(L"%s", first + 2);
    ASSERT_TRUE(first != std::wstring::npos && second != std::wstring::npos);
    std::wstring before = format.substr(0, first);
    std::wstring tail = format.substr(first + 2, second - first - 2) +
                        SystemErrorText(ERROR_DISK_FULL) + format.substr(second + 2);
    std::wstring folder = uidriver::Widen(m_product.installBase + "\\");
    const std::wstring& text = error.text;
    bool shaped = text.size() > before.size() + folder.size() + tail.size() &&
                  text.compare(0, before.size(), before) == 0 &&
                  text.compare(before.size(), folder.size(), folder) == 0 &&
                  text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    EXPECT_TRUE(shaped) << "the error message reads \"" << uidriver::Narrow(text)
                        << "\"; expected string 125 naming a file in " << uidriver::Narrow(folder)
                        << " and the error \"" << uidriver::Narrow(SystemErrorText(ERROR_DISK_FULL))
                        << "\"";
    if (shaped) {
        std::wstring name = text.substr(before.size() + folder.size(),
                                        text.size() - tail.size() - before.size() - folder.size());
        EXPECT_EQ(name.find(L'\\'), std::wstring::npos) << uidriver::Narrow(name);
    }

    // After OK the progress dialog ends by itself and the run says it is incomplete.
    ASSERT_TRUE(uidriver::AnswerMessageBox(errorBox, IDOK));
    EXPECT_TRUE(uidriver::WaitForWindowGone(copy)) << "the progress dialog stayed";
    ResultBox result = WaitForResult(licence);
    ExpectResult(result, kUpgradeIncompleteString);
    // Nothing changed, nothing is left behind, and Setup stays to be run again.
    EXPECT_TRUE(InstallTreeUnchanged());
    AnswerAndExpectEnd(result, licence, true);
}

} // namespace
} // namespace upgraderun
