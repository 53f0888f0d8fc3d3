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

    // The error message names a file the upgrade writes below the install base, and the lack of
    // space.
    FileErrorBox error = WaitForFileError({licence, copy});
    std::wstring folder = uidriver::Widen(m_product.installBase + "\\");
    EXPECT_EQ(error.path.compare(0, folder.size(), folder), 0) << uidriver::Narrow(error.path);
    ExpectAndAnswerFileError(error, uidriver::Narrow(error.path), ERROR_DISK_FULL);

    // After OK the progress dialog ends by itself and the run says it is incomplete.
    EXPECT_TRUE(uidriver::WaitForWindowGone(copy)) << "the progress dialog stayed";
    ResultBox result = WaitForResult(licence);
    ExpectResult(result, kUpgradeIncompleteString);
    // Nothing changed, nothing is left behind, and Setup stays to be run again.
    EXPECT_TRUE(InstallTreeUnchanged());
    AnswerAndExpectEnd(result, licence, true);
}

} // namespace
} // namespace upgraderun
