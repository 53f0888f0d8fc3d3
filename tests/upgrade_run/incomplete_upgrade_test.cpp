// Runs that cannot upgrade the product: a destination that cannot be replaced, a damaged or
// missing payload file, a list file in use, or an install base that leads nowhere usable. Setup
// changes nothing anywhere, says so (124, or 122 when the product is plainly not installed
// there), and keeps Setup.exe and the payload files so that the upgrade can be run again. A
// product window that never answers does not stop Setup.
#include "upgrade_run_support.h"

#include "ProductRegistry.h"

#include <functional>

namespace upgraderun {
namespace {

using StagedProduct = product::StagedProduct;

struct IncompleteCase {
    const char* name;
    UINT message; // 124, or 122 when the product is not where the registry says
    // Changes to the staged product before Setup starts.
    std::function<void(const product::ProductOptions&, const StagedProduct&)> arrange;
    int heldRow = 0;       // destination (from 1) held open by another program; 10: the list
    bool runAgain = false; // afterwards, with the cause gone, the upgrade is run again
    // The file that a file error names before 124, and the system's reason; none without it.
    std::function<std::string(const StagedProduct&)> blames = {};
    DWORD reason = 0;
    // Setup built with the simulated product's payload fixed, and what changes while its licence
    // is shown.
    bool released = false;
    std::function<void(const StagedProduct&)> whileLicenceShown = {};
};

// Payload file `row` with one byte changed, its size and time kept.
void ChangeOneByte(const StagedProduct& p, int row) {
    const std::string& path = p.payloadFiles[row];
    long long ticks = product::FileTicks(path);
    std::string bytes = product::ReadFileBytes(path);
    ASSERT_FALSE(bytes.empty());
    bytes[bytes.size() / 2] ^= 0x20;
    ASSERT_TRUE(product::WriteFileBytes(path, bytes));
    ASSERT_TRUE(product::SetFileTicks(path, ticks));
}

std::function<std::string(const StagedProduct&)> PayloadFile(int row) {
    return [row](const StagedProduct& p) { return p.payloadFiles[row]; };
}
std::function<std::string(const StagedProduct&)> InstalledFile(int row) {
    return [row](const StagedProduct& p) { return p.destinationFiles[row]; };
}

void PrintTo(const IncompleteCase& c, std::ostream* os) {
    *os << c.name;
}

// The registry value that a file error names when it gives no usable install base.
std::string BasePathValue(const StagedProduct&) {
    return "HKEY_LOCAL_MACHINE\\Software\\Morvane\\Quillo\\system\\installinfo\\BasePath";
}

void PointBasePathAt(const product::ProductOptions& options, const std::string& base) {
    ASSERT_TRUE(product::WriteProductRegistry(options, base));
}

// clang-format off
const IncompleteCase kIncompleteCases[] = {
    {"RowSixHeldOpen", kUpgradeIncompleteString, {}, 6, true, InstalledFile(5),
     ERROR_SHARING_VIOLATION},
    {"ListFileHeldOpen", kUpgradeIncompleteString, {}, 10, false,
     [](const StagedProduct& p) { return p.listFile; }, ERROR_SHARING_VIOLATION},
    {"PayloadFileMissing", kUpgradeIncompleteString,
     [](const product::ProductOptions&, const StagedProduct& p) {
         ASSERT_TRUE(::DeleteFileA(p.payloadFiles[2].c_str()));
     },
     0, false, PayloadFile(2), ERROR_FILE_NOT_FOUND},
    {"PayloadFileEmpty", kUpgradeIncompleteString,
     [](const product::ProductOptions&, const StagedProduct& p) {
         ASSERT_TRUE(product::WriteFileBytes(p.payloadFiles[6], ""));
     },
     0, false, PayloadFile(6), ERROR_FILE_CORRUPT},
    // A release takes only the payload files it was built with.
    {"ReleasedPayloadOneByteChanged", kUpgradeIncompleteString,
     [](const product::ProductOptions&, const StagedProduct& p) { ChangeOneByte(p, 3); },
     0, false, PayloadFile(3), ERROR_FILE_CORRUPT, true},
    {"ReleasedPayloadSwappedWhileTheLicenceIsShown", kUpgradeIncompleteString, {}, 0, false,
     PayloadFile(4), ERROR_FILE_CORRUPT, true,
     [](const StagedProduct& p) { ChangeOneByte(p, 4); }},
    {"BasePathMissing", kUpgradeIncompleteString,
     [](const product::ProductOptions& o, const StagedProduct&) {
         product::ProductOptions without = o;
         without.writeBasePath = false;
         product::RemoveProductRegistry();
         PointBasePathAt(without, "");
     }, 0, false, BasePathValue, ERROR_BAD_PATHNAME},
    // Resolved against Setup's current folder, the setup folder, it would write there.
    {"BasePathRelative", kUpgradeIncompleteString,
     [](const product::ProductOptions& o, const StagedProduct&) { PointBasePathAt(o, "Quillo"); },
     0, false, [](const StagedProduct&) { return std::string("Quillo"); }, ERROR_BAD_PATHNAME},
    {"BasePathAFile", kUpgradeIncompleteString,
     [](const product::ProductOptions& o, const StagedProduct& p) {
         PointBasePathAt(o, p.listFile);
     }, 0, false, [](const StagedProduct& p) { return p.listFile; }, ERROR_DIRECTORY},
    // Longer than the registry reader takes: as good as missing.
    {"BasePathLongerThanAPath", kUpgradeIncompleteString,
     [](const product::ProductOptions& o, const StagedProduct& p) {
         PointBasePathAt(o, p.installBase + "\\" + std::string(250, 'q'));
     }, 0, false, BasePathValue, ERROR_BAD_PATHNAME},
    {"BasePathFolderAbsent", kWrongVersionString,
     [](const product::ProductOptions& o, const StagedProduct& p) {
         PointBasePathAt(o, p.installBase + "Gone");
     }},
    {"BasePathEmptyFolder", kWrongVersionString,
     [](const product::ProductOptions& o, const StagedProduct& p) {
         PointBasePathAt(o, p.installBase + "\\QuilloHub");
     }},
};
// clang-format on

class IncompleteUpgradeTest : public UpgradeRunTest,
                              public ::testing::WithParamInterface<IncompleteCase> {};

TEST_P(IncompleteUpgradeTest, ChangesNothingSaysSoAndStaysToBeRunAgain) {
    const IncompleteCase& c = GetParam();
    product::ProductOptions options = DefaultOptions();
    if (c.released)
        options.setupExeSource = BuiltFixedPayloadSetupExe();
    Stage(options);
    if (c.arrange)
        ASSERT_NO_FATAL_FAILURE(c.arrange(options, m_product));
    const TreeSnapshot installBefore = SnapshotTree(m_product.installBase);
    TreeSnapshot setupBefore = SnapshotTree(m_product.setupFolder);
    if (c.heldRow)
        HoldOpen(c.heldRow == 10 ? m_product.listFile : m_product.destinationFiles[c.heldRow - 1]);
    ASSERT_FALSE(HasFailure());
    StartProduct();
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    if (c.whileLicenceShown) {
        ASSERT_NO_FATAL_FAILURE(c.whileLicenceShown(m_product));
        setupBefore = SnapshotTree(m_product.setupFolder);
    }
    Accept(licence);

    // What stands in the way is named first.
    if (c.blames)
        ExpectAndAnswerFileError(WaitForFileError({licence}), c.blames(m_product), c.reason);
    ResultBox result = WaitForResult(licence);
    ExpectResult(result, c.message);
    const bool incomplete = c.message == kUpgradeIncompleteString;
    AnswerAndExpectEnd(result, licence, incomplete);
    // Files are read once the holders have let them go. Nothing changed: not the install tree,
    // not the setup folder (where a relative install base would lead), not the drive's root.
    m_holders.clear();
    EXPECT_TRUE(SameTree(installBefore, SnapshotTree(m_product.installBase)));
    if (incomplete)
        EXPECT_TRUE(SameTree(setupBefore, SnapshotTree(m_product.setupFolder)));
    else
        EXPECT_TRUE(uidriver::WaitUntil([&] {
            return !product::FolderExists(m_product.setupFolder);
        })) << "Setup did not remove itself after the product was found not installed";
    for (const char* path : {"C:\\tindict", "C:\\QuilloRes.dll", "C:\\QuilloSA", "C:\\QuilloHub"})
        EXPECT_FALSE(product::FileExists(path) || product::FolderExists(path)) << path;

    if (c.runAgain) {
        HWND again = OpenLicenceDialog();
        ASSERT_NE(again, nullptr);
        Accept(again);
        ResultBox done = WaitForResult(again);
        ExpectResult(done, kUpgradeDoneString);
        for (int row = 0; row < 9; ++row)
            EXPECT_EQ(product::ReadFileBytes(m_product.destinationFiles[row]),
                      product::PayloadContent(row));
        AnswerAndExpectEnd(done, again);
    }
}

INSTANTIATE_TEST_SUITE_P(Failures, IncompleteUpgradeTest, ::testing::ValuesIn(kIncompleteCases),
                         [](const ::testing::TestParamInfo<IncompleteCase>& info) {
                             return std::string(info.param.name);
                         });

// A product window that never answers its quit request: Setup gives up on it, still asks the
// other two, waits a bounded time for the product to end, and completes the upgrade.
TEST_F(UpgradeRunTest, AProductWindowThatNeverAnswersDoesNotStopSetup) {
    Stage(DefaultOptions());
    StartProduct({"--hang", "TindleBar"});
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    Accept(licence);

    ResultBox result = WaitForResult(licence, 120000);
    ExpectResult(result, kUpgradeDoneString);
    EXPECT_EQ(QuitRequestLines(m_productLog), ExpectedQuitRequestLines());
    for (int row = 0; row < 9; ++row)
        EXPECT_EQ(product::ReadFileBytes(m_product.destinationFiles[row]),
                  product::PayloadContent(row))
            << "row " << row + 1 << " was not replaced";
    AnswerAndExpectEnd(result, licence);
    EXPECT_TRUE(m_productProgram.IsRunning()) << "the hung product ended";
}

// A list file too large to be read into memory: 2000 MB, all but its first bytes a hole of
// zero bytes (which the file system does not store). The file error names the list and the lack
// of memory, the progress dialog ends by itself, the upgrade is reported incomplete, and nothing
// changed: the list file is as it was.
TEST_F(UpgradeRunTest, AListFileTooLargeForMemoryStillEndsTheRun) {
    Stage(DefaultOptions());
    {
        HANDLE list = ::CreateFileA(m_product.listFile.c_str(), GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(list, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size;
        size.QuadPart = 2000LL << 20;
        bool extended = ::SetFilePointerEx(list, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(list);
        ::CloseHandle(list);
        ASSERT_TRUE(extended) << "cannot extend the list file";
    }
    long long listTicks = product::FileTicks(m_product.listFile);
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    Accept(licence);

    ExpectAndAnswerFileError(WaitForFileError({licence}), m_product.listFile,
                             ERROR_NOT_ENOUGH_MEMORY);
    ResultBox result = WaitForResult(licence);
    ASSERT_NE(result.window, nullptr) << "the progress dialog did not end";
    ExpectResult(result, kUpgradeIncompleteString);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(::GetFileAttributesExA(m_product.listFile.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ((static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, 2000LL << 20);
    EXPECT_EQ(product::FileTicks(m_product.listFile), listTicks) << "the list file was written";
    for (int row = 0; row < 9; ++row)
        EXPECT_EQ(product::ReadFileBytes(m_product.destinationFiles[row]),
                  product::InstalledContent(row));
    AnswerAndExpectEnd(result, licence, true);
}

} // namespace
} // namespace upgraderun
