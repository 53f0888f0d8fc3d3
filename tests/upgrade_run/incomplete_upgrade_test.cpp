// Runs that cannot complete the upgrade: a destination that cannot be replaced, a missing
// payload file, a list file in use, or no install base. Setup replaces what it can, registers
// nothing, shows the "could not be completed" message and ends as usual. A product window that
// never answers does not stop Setup.
#include "upgrade_run_support.h"

namespace upgraderun {
namespace {

struct IncompleteCase {
    const char* name;
    int heldRow = -1;           // 0-based row whose destination another program holds open
    int readOnlyRow = -1;       // 0-based row whose destination is read-only
    int missingPayloadRow = -1; // 0-based row whose payload file is missing
    bool holdList = false;      // the list file is held open by another program
    bool writeBasePath = true;  // the registry has the install base
};

void PrintTo(const IncompleteCase& c, std::ostream* os) {
    *os << c.name;
}

IncompleteCase Case(const char* name) {
    IncompleteCase c;
    c.name = name;
    return c;
}

IncompleteCase HeldDestination() {
    IncompleteCase c = Case("DestinationHeldOpen");
    c.heldRow = 0;
    return c;
}

IncompleteCase ReadOnlyDestination() {
    IncompleteCase c = Case("DestinationReadOnly");
    c.readOnlyRow = 5;
    return c;
}

IncompleteCase MissingPayload() {
    IncompleteCase c = Case("PayloadFileMissing");
    c.missingPayloadRow = 2;
    return c;
}

IncompleteCase HeldList() {
    IncompleteCase c = Case("ListFileHeldOpen");
    c.holdList = true;
    return c;
}

IncompleteCase MissingBasePath() {
    IncompleteCase c = Case("BasePathMissing");
    c.writeBasePath = false;
    return c;
}

const IncompleteCase kIncompleteCases[] = {HeldDestination(), ReadOnlyDestination(),
                                           MissingPayload(), HeldList(), MissingBasePath()};

// Where the payload's destinations and the list file would lie with an empty install base:
// below the root of Setup's current drive, C:.
const char* const kDriveRootPaths[] = {"C:\\tindict", "C:\\QuilloRes.dll", "C:\\QuilloSA",
                                       "C:\\QuilloMT", "C:\\QuilloHub"};

class IncompleteUpgradeTest : public UpgradeRunTest,
                              public ::testing::WithParamInterface<IncompleteCase> {
protected:
    void TearDown() override {
        UpgradeRunTest::TearDown();
        if (m_ownsDriveRoot) {
            for (const char* path : kDriveRootPaths)
                product::DeleteTree(path);
        }
    }

    // Stages an installed product below the drive root, as Setup would find it with an empty
    // install base: every destination older than its payload file, and a list file.
    void StageBelowDriveRoot() {
        for (const char* path : kDriveRootPaths)
            ASSERT_FALSE(product::FileExists(path) || product::FolderExists(path))
                << path << " exists and is not the test's own";
        m_ownsDriveRoot = true;
        for (int row = 0; row < 9; ++row) {
            std::string destination = std::string("C:") + product::kDestinationPaths[row];
            ASSERT_TRUE(product::MakeFolders(destination.substr(0, destination.rfind('\\'))));
            ASSERT_TRUE(product::WriteFileBytes(destination, product::InstalledContent(row)));
            ASSERT_TRUE(product::SetFileTicks(
                destination, product::InstalledTicks(row, product::DestState::Older)));
        }
        ASSERT_TRUE(product::MakeFolders("C:\\QuilloHub"));
        ASSERT_TRUE(product::WriteFileBytes("C:\\QuilloHub\\modlist.ini", ListBefore()));
        m_driveRootBefore = DriveRootSnapshot();
    }

    TreeSnapshot DriveRootSnapshot() const {
        TreeSnapshot snapshot;
        for (const char* path : kDriveRootPaths) {
            if (product::FileExists(path))
                snapshot[path] = FileRecord{product::ReadFileBytes(path), product::FileTicks(path)};
            for (const auto& [relative, record] : SnapshotTree(path))
                snapshot[path + relative] = record;
        }
        return snapshot;
    }

    bool m_ownsDriveRoot = false;
    TreeSnapshot m_driveRootBefore;
};

TEST_P(IncompleteUpgradeTest, ReplacesWhatItCanRegistersNothingAndSaysSo) {
    const IncompleteCase& c = GetParam();
    product::ProductOptions options = DefaultOptions();
    options.writeBasePath = c.writeBasePath;
    if (c.missingPayloadRow >= 0)
        options.payloadPresent[c.missingPayloadRow] = false;
    Stage(options);
    if (c.readOnlyRow >= 0) {
        ASSERT_TRUE(::SetFileAttributesA(m_product.destinationFiles[c.readOnlyRow].c_str(),
                                         FILE_ATTRIBUTE_READONLY));
    }
    if (!c.writeBasePath) {
        ASSERT_NO_FATAL_FAILURE(StageBelowDriveRoot());
    }
    if (c.heldRow >= 0)
        HoldOpen(m_product.destinationFiles[c.heldRow]);
    if (c.holdList)
        HoldOpen(m_product.listFile);
    ASSERT_FALSE(HasFailure());
    StartProduct();
    HWND licence = OpenLicenceDialog();
    ASSERT_NE(licence, nullptr);
    Accept(licence);

    ResultBox result = WaitForResult(licence);
    ExpectResult(result, kUpgradeIncompleteString);
    EXPECT_EQ(QuitRequestLines(m_productLog), ExpectedQuitRequestLines());
    // Files are read once the holders have let them go.
    m_holders.clear();
    if (c.writeBasePath) {
        TreeSnapshot expected = m_treeBefore;
        for (int row = 0; row < 9; ++row) {
            bool failed = row == c.heldRow || row == c.readOnlyRow || row == c.missingPayloadRow;
            if (!failed)
                expected[product::kDestinationPaths[row]] = FileRecord{
                    product::PayloadContent(row), product::PayloadTicks(row, options.dest[row])};
        }
        // The rows that could be replaced were; the failed row and the list file are as staged.
        EXPECT_TRUE(SameTree(expected, SnapshotTree(m_product.installBase)));
    } else {
        EXPECT_TRUE(InstallTreeUnchanged());
        EXPECT_TRUE(SameTree(m_driveRootBefore, DriveRootSnapshot())) << "below the drive root";
    }
    AnswerAndExpectEnd(result, licence);
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
// zero bytes (which the file system does not store). Whatever Setup makes of it, the progress
// dialog ends by itself and a result is shown; when the upgrade is reported incomplete, the
// list file is left as it was.
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

    ResultBox result = WaitForResult(licence);
    ASSERT_NE(result.window, nullptr) << "the progress dialog did not end";
    std::wstring done = ExpectedString(kUpgradeDoneString);
    std::wstring incomplete = ExpectedString(kUpgradeIncompleteString);
    EXPECT_TRUE(result.info.text == done || result.info.text == incomplete)
        << "the result shows \"" << uidriver::Narrow(result.info.text) << "\"";
    if (result.info.text == incomplete) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        ASSERT_TRUE(
            ::GetFileAttributesExA(m_product.listFile.c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ((static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                  2000LL << 20);
        EXPECT_EQ(product::FileTicks(m_product.listFile), listTicks) << "the list file was written";
    }
    AnswerAndExpectEnd(result, licence);
}

} // namespace
} // namespace upgraderun
