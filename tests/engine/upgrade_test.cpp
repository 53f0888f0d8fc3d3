// The upgrade engine on a staged product under Wine, on real files and the real registry: every
// row replaced or left by the newer-or-missing rule and the upgrade registered in the list file,
// or, when anything fails, the whole install tree exactly as it was; installed files keep what
// they carry; a run cut short is rolled back or finished from its journal.
#include "Staging.h"
#include "engine_test_support.h"
#include "test_files.h"
#include "upgrade/AppListRegistration.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/Journal.h"
#include "upgrade/PathRules.h"
#include "upgrade/Transaction.h"
#include "upgrade/Upgrade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using namespace std::string_literals;
using namespace testsupport;
using product::DestState;

namespace {

const std::string kDefaultBody =
    "[LIST]\r\nname1=Alpha\r\nurl1=alpha.exe\r\nname2=Beta\r\nurl2=beta.exe\r\n";

std::string ListWithEntries(const std::string& count, const std::string& body = kDefaultBody) {
    return ListPrefix() + ListHeader(count) + body;
}

// The default list after the upgrade was registered under `name`.
std::string RegisteredList(const std::string& name) {
    return ListWithEntries("3") + AppendedEntry("3", name);
}

const char* OutcomeName(UpgradeOutcome outcome) {
    switch (outcome) {
    case UpgradeOutcome::Upgraded:
        return "Upgraded";
    case UpgradeOutcome::NotInstalled:
        return "NotInstalled";
    default:
        return "Incomplete";
    }
}

class UpgradeEngineTest : public testing::Test {
public:
    // Holds `path` open without sharing, from another process, until the run is over.
    void HoldFile(const std::string& path) {
        m_holders.push_back(std::make_unique<enginetest::FileHolder>(path));
        ASSERT_TRUE(m_holders.back()->Holding()) << m_holders.back()->Error();
    }

protected:
    void SetUp() override { m_root = CurrentTestFolder("engine"); }
    void TearDown() override {
        m_holders.clear();
        product::RemoveProductRegistry();
        EXPECT_TRUE(product::DeleteTree(m_root));
    }

    void Stage(const product::ProductOptions& options) {
        m_options = options;
        m_product = product::StageProduct(options);
        ASSERT_FALSE(m_product.installBase.empty());
    }
    product::ProductOptions Options() const {
        product::ProductOptions options;
        options.root = m_root;
        return options;
    }
    UpgradeOutcome Run(const std::string& baseSuffix = "") {
        std::string base = m_product.installBase + baseSuffix;
        return UpgradeProduct(m_product.setupFolder.c_str(), base.c_str(), kEntryText);
    }
    // The install tree as a successful run leaves it: each row replaced or added where the rule
    // says, and the list as `list` (unless empty).
    TreeSnapshot UpgradedTree(const TreeSnapshot& before, const std::string& list) const {
        TreeSnapshot expected = before;
        for (int row = 0; row < 9; ++row) {
            DestState state = m_options.dest[row];
            bool copied = state == DestState::Older || state == DestState::OlderBySecond ||
                          (state == DestState::Missing && row < 7);
            if (copied)
                expected[product::kDestinationPaths[row]] =
                    FileRecord{product::PayloadContent(row), product::PayloadTicks(row, state)};
        }
        if (!list.empty())
            expected["\\QuilloHub\\modlist.ini"].bytes = list;
        return expected;
    }

    std::string m_root;
    product::ProductOptions m_options;
    product::StagedProduct m_product;
    std::vector<std::unique_ptr<enginetest::FileHolder>> m_holders;
};

// The list file's last-write time is whenever it was written: compare its bytes only.
::testing::AssertionResult SameTreeButListTime(TreeSnapshot expected, const TreeSnapshot& actual) {
    auto list = actual.find("\\QuilloHub\\modlist.ini");
    if (list != actual.end() && expected.count(list->first))
        expected[list->first].ticks = list->second.ticks;
    return SameTree(expected, actual);
}

// ---------------------------------------------------------------------------------------------
// All or nothing.

struct UpgradeCase {
    const char* name;
    std::vector<DestState> dest; // empty: every row Older
    UpgradeOutcome outcome;
    // Changes to the staged product before the run (files held open are held by the fixture).
    std::function<void(UpgradeEngineTest&, const product::StagedProduct&)> arrange;
    std::string baseSuffix;
    bool writeList = true;
    // Held open by another program during the run: rows (from 1), 10 for the list file.
    std::vector<int> held;
};

void PrintTo(const UpgradeCase& c, std::ostream* os) {
    *os << c.name;
}

class AllOrNothingTest : public UpgradeEngineTest,
                         public testing::WithParamInterface<UpgradeCase> {};

using P = product::StagedProduct;
using T = UpgradeEngineTest;
const DestState O = DestState::Older, S = DestState::SameSecond, N = DestState::Newer,
                M = DestState::Missing, F = DestState::FolderAbsent, B = DestState::OlderBySecond;

void SetReadOnly(const std::string& path) {
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
}

const UpgradeCase kUpgradeCases[] = {
    {"EveryRowOlder", {}, UpgradeOutcome::Upgraded, {}},
    {"MixedRows", {O, B, S, N, M, O, S, M, M}, UpgradeOutcome::Upgraded, {}},
    // Rows 4 and 5 share a folder, which is absent; rows 8 and 9 are installed.
    {"ComponentFolderAbsent", {N, O, B, F, F, M, O, B, N}, UpgradeOutcome::Upgraded, {}},
    {"NothingNewerStillRegisters", {N, N, N, S, S, N, N, N, N}, UpgradeOutcome::Upgraded, {}},
    {"InstallBaseWithTrailingBackslash", {}, UpgradeOutcome::Upgraded, {}, "\\"},
    {"NoListFile", {}, UpgradeOutcome::Upgraded, {}, "", false},
    // Read-only payload files, as from a CD, are installed all the same.
    {"ReadOnlyPayloads",
     {},
     UpgradeOutcome::Upgraded,
     [](T&, const P& p) {
         for (const std::string& payload : p.payloadFiles)
             SetReadOnly(payload);
     }},
    // Every failure leaves every file as it was.
    {"PayloadMissing",
     {},
     UpgradeOutcome::Incomplete,
     [](T&, const P& p) { ASSERT_TRUE(::DeleteFileA(p.payloadFiles[2].c_str())); }},
    {"PayloadEmpty",
     {},
     UpgradeOutcome::Incomplete,
     [](T&, const P& p) { ASSERT_TRUE(product::WriteFileBytes(p.payloadFiles[5], "")); }},
    {"ReadOnlyDestination",
     {},
     UpgradeOutcome::Incomplete,
     [](T&, const P& p) { SetReadOnly(p.destinationFiles[0]); }},
    {"RowSixHeldOpen", {}, UpgradeOutcome::Incomplete, {}, "", true, {6}},
    {"FirstAndLastRowsHeldOpen", {}, UpgradeOutcome::Incomplete, {}, "", true, {1, 9}},
    {"ListHeldOpen", {}, UpgradeOutcome::Incomplete, {}, "", true, {10}},
    {"ListReadOnly",
     {},
     UpgradeOutcome::Incomplete,
     [](T&, const P& p) { SetReadOnly(p.listFile); }},
    {"ListTooShort",
     {},
     UpgradeOutcome::Incomplete,
     [](T&, const P& p) {
         ASSERT_TRUE(product::WriteFileBytes(p.listFile, std::string(15, 'x')));
     }},
    {"ListCountOverflows",
     {},
     UpgradeOutcome::Incomplete,
     [](T&, const P& p) {
         ASSERT_TRUE(product::WriteFileBytes(p.listFile, ListWithEntries("2147483647")));
     }},
    // A name the upgrade would make beside an installed file is someone else's: never touched.
    {"StagedNameTaken",
     {},
     UpgradeOutcome::Incomplete,
     [](T&, const P& p) {
         ASSERT_TRUE(product::WriteFileBytes(StagedPathOf(p.destinationFiles[3]), "theirs"));
     }},
    {"BackupNameTaken",
     {},
     UpgradeOutcome::Incomplete,
     [](T&, const P& p) {
         ASSERT_TRUE(product::WriteFileBytes(BackupPathOf(p.listFile), "theirs"));
     }},
};

TEST_P(AllOrNothingTest, ChangesEverythingOrNothing) {
    const UpgradeCase& c = GetParam();
    product::ProductOptions options = Options();
    if (!c.dest.empty())
        std::copy(c.dest.begin(), c.dest.end(), options.dest);
    options.writeListFile = c.writeList;
    Stage(options);
    if (c.arrange)
        ASSERT_NO_FATAL_FAILURE(c.arrange(*this, m_product));
    const TreeSnapshot installBefore = SnapshotTree(m_product.installBase);
    const TreeSnapshot setupBefore = SnapshotTree(m_product.setupFolder);
    for (int row : c.held)
        ASSERT_NO_FATAL_FAILURE(
            HoldFile(row == 10 ? m_product.listFile : m_product.destinationFiles[row - 1]));

    EXPECT_STREQ(OutcomeName(c.outcome), OutcomeName(Run(c.baseSuffix)));

    m_holders.clear();
    // A complete run keeps its journal until it has ended.
    UpgradeTransaction::Finish(m_product.installBase.c_str());
    const TreeSnapshot installAfter = SnapshotTree(m_product.installBase);
    if (c.outcome == UpgradeOutcome::Upgraded)
        EXPECT_TRUE(SameTreeButListTime(
            UpgradedTree(installBefore, c.writeList ? RegisteredList(options.productInfo) : ""),
            installAfter));
    else
        EXPECT_TRUE(SameTree(installBefore, installAfter));
    EXPECT_TRUE(SameTree(setupBefore, SnapshotTree(m_product.setupFolder)))
        << "the payload files are only read";
}

INSTANTIATE_TEST_SUITE_P(Cases, AllOrNothingTest, testing::ValuesIn(kUpgradeCases),
                         [](const testing::TestParamInfo<UpgradeCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// The list file: its prefix and body carried over, the entry named after "ProductInfo".

struct ListCase {
    const char* name;
    std::string before;
    bool storeProductInfo;
    DWORD type;
    std::string productInfo; // raw value data
    std::string after;
};

void PrintTo(const ListCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kFfPrefix(16, '\xFF');

const ListCase kListCases[] = {
    {"ZeroBytesInPrefixAndBody", std::string(16, '\0') + ListHeader("2") + "[LIST]\r\n\0x\r\n"s,
     true, REG_SZ, "Gamma\0"s,
     std::string(16, '\0') + ListHeader("3") + "[LIST]\r\n\0x\r\n"s + AppendedEntry("3", "Gamma")},
    {"MarkerInPrefix", "[LIST]\r\n7\0\0nam\r\n"s + ListHeader("2") + kDefaultBody, true, REG_SZ,
     "Gamma\0"s,
     "[LIST]\r\n7\0\0nam\r\n"s + ListHeader("3") + kDefaultBody + AppendedEntry("3", "Gamma")},
    {"ProductInfoMissing", ListWithEntries("2"), false, REG_SZ, "", RegisteredList("")},
    {"ProductInfoBytesAbove7F", ListWithEntries("2"), true, REG_SZ, "Caf\xE9 \xFC\xDF\0"s,
     RegisteredList("Caf\xE9 \xFC\xDF")},
    {"ProductInfoLongerThan255", ListWithEntries("2"), true, REG_SZ, std::string(256, 'n') + '\0',
     RegisteredList("")},
    {"ProductInfoExpandSz", ListWithEntries("2"), true, REG_EXPAND_SZ, "Gamma\0"s,
     RegisteredList("")},
};

class ListRegistrationTest : public UpgradeEngineTest,
                             public testing::WithParamInterface<ListCase> {};

TEST_P(ListRegistrationTest, RegistersTheEntry) {
    const ListCase& c = GetParam();
    product::ProductOptions options = Options();
    std::fill(std::begin(options.dest), std::end(options.dest), DestState::Newer);
    options.listBytes = c.before;
    options.writeProductInfo = false;
    Stage(options);
    if (c.storeProductInfo)
        ASSERT_TRUE(enginetest::SetRegistryValue(kInstallInfoKey, kProductInfoValue, c.type,
                                                 c.productInfo));

    EXPECT_STREQ("Upgraded", OutcomeName(Run()));

    EXPECT_EQ(Printable(c.after), Printable(product::ReadFileBytes(m_product.listFile)));
    EXPECT_EQ(std::vector<std::string>{"modlist.ini"},
              FolderEntries(m_product.installBase + "\\QuilloHub"));
}

INSTANTIATE_TEST_SUITE_P(Lists, ListRegistrationTest, testing::ValuesIn(kListCases),
                         [](const testing::TestParamInfo<ListCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// What a replaced file carries stays with it: attributes, creation time, access rules.

struct Carried {
    DWORD attributes = 0;
    long long created = 0;
    std::string accessRules; // the security descriptor's access list, as bytes
};

long long Ticks(const FILETIME& time) {
    return (static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

Carried CarriedBy(const std::string& path) {
    Carried carried;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        carried.attributes = data.dwFileAttributes;
        carried.created = Ticks(data.ftCreationTime);
    }
    DWORD needed = 0;
    ::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::string descriptor(needed, '\0');
    if (needed && ::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &descriptor[0],
                                     needed, &needed))
        carried.accessRules = descriptor;
    return carried;
}

// Whether a creation time set on a file is read back: Windows keeps it; Wine on a Linux file
// system has none of its own to keep.
bool FileSystemKeepsCreationTimes() {
    static const bool keeps = [] {
        const std::string path = CurrentTestFolder("engine") + "\\creation";
        HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        FILETIME set = {0x12345600, 0x01D00000}, read = {};
        bool kept = file != INVALID_HANDLE_VALUE && ::SetFileTime(file, &set, nullptr, nullptr) &&
                    ::GetFileTime(file, &read, nullptr, nullptr) && Ticks(read) == Ticks(set);
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
        if (!kept)
            std::printf("creation times are not kept here: not compared\n");
        return kept;
    }();
    return keeps;
}

// Grants everyone full access: a rule of the product's own that the default would not give.
bool GrantEveryone(const std::string& path) {
    SECURITY_DESCRIPTOR descriptor;
    BYTE aclBuffer[128];
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    bool ok =
        ::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone) &&
        ::InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
        ::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, everyone) &&
        ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
        ::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &descriptor);
    if (everyone)
        ::FreeSid(everyone);
    return ok;
}

TEST_F(UpgradeEngineTest, ReplacedFilesKeepAttributesCreationTimeAndAccessRules) {
    Stage(Options());
    const std::vector<std::string> files = {m_product.destinationFiles[0], m_product.listFile};
    std::vector<Carried> before;
    for (const std::string& path : files) {
        ASSERT_TRUE(GrantEveryone(path)) << path;
        ASSERT_TRUE(::SetFileAttributesA(
            path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
        before.push_back(CarriedBy(path));
        ASSERT_FALSE(before.back().accessRules.empty());
    }

    ASSERT_STREQ("Upgraded", OutcomeName(Run()));

    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        Carried after = CarriedBy(files[i]);
        EXPECT_EQ(before[i].attributes, after.attributes);
        if (FileSystemKeepsCreationTimes())
            EXPECT_EQ(before[i].created, after.created);
        EXPECT_EQ(before[i].accessRules, after.accessRules);
    }
    EXPECT_EQ(product::PayloadContent(0), product::ReadFileBytes(files[0]));
    EXPECT_EQ(RegisteredList(m_options.productInfo), product::ReadFileBytes(files[1]));
}

// ---------------------------------------------------------------------------------------------
// Where the registry's install base leads.

struct BaseCase {
    const char* name;
    std::function<std::string(const product::StagedProduct&)> base;
    UpgradeOutcome check;
};

void PrintTo(const BaseCase& c, std::ostream* os) {
    *os << c.name;
}

const BaseCase kBaseCases[] = {
    {"InstalledProduct", [](const P& p) { return p.installBase; }, UpgradeOutcome::Upgraded},
    {"TrailingBackslash", [](const P& p) { return p.installBase + "\\"; },
     UpgradeOutcome::Upgraded},
    {"FolderAbsent", [](const P& p) { return p.installBase + "Gone"; },
     UpgradeOutcome::NotInstalled},
    {"ParentAbsent", [](const P& p) { return p.installBase + "Gone\\Quillo"; },
     UpgradeOutcome::NotInstalled},
    {"EmptyFolder", [](const P& p) { return p.installBase + "\\QuilloHub"; },
     UpgradeOutcome::NotInstalled},
    {"AFile", [](const P& p) { return p.listFile; }, UpgradeOutcome::Incomplete},
    {"Relative", [](const P&) { return std::string("Quillo"); }, UpgradeOutcome::Incomplete},
    {"BelowTheDriveRoot", [](const P&) { return std::string("\\Quillo"); },
     UpgradeOutcome::Incomplete},
    {"Empty", [](const P&) { return std::string(); }, UpgradeOutcome::Incomplete},
    {"LongerThanTheFileFunctionsTake",
     [](const P& p) { return p.installBase + "\\" + std::string(260, 'q'); },
     UpgradeOutcome::Incomplete},
};

class InstallBaseTest : public UpgradeEngineTest, public testing::WithParamInterface<BaseCase> {};

TEST_P(InstallBaseTest, TellsWhetherTheProductIsThere) {
    Stage(Options());
    EXPECT_STREQ(OutcomeName(GetParam().check),
                 OutcomeName(CheckInstallBase(GetParam().base(m_product).c_str())));
}

INSTANTIATE_TEST_SUITE_P(Bases, InstallBaseTest, testing::ValuesIn(kBaseCases),
                         [](const testing::TestParamInfo<BaseCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// A run cut short, as its files and journal lie on the disk, and what the next start makes of it.

// One entry's files as a crash left them.
struct EntryLeft {
    bool adds;
    bool staged;  // the staged copy is there
    bool backup;  // the backup is there
    bool renamed; // the staged copy was renamed over the destination
};

struct CrashCase {
    const char* name;
    JournalState state;
    std::vector<EntryLeft> entries; // rows 1, 2, ... of the payload table
    UpgradeTransaction::Recovery recovery;
    bool upgraded; // every entry's destination holds the new file afterwards (else the old)
};

void PrintTo(const CrashCase& c, std::ostream* os) {
    *os << c.name;
}

using J = JournalState;
using Rec = UpgradeTransaction::Recovery;

const CrashCase kCrashCases[] = {
    {"PreparingHalfStaged",
     J::Preparing,
     {{false, true, true, false}, {false, true, false, false}, {true, false, false, false}},
     Rec::RolledBack,
     false},
    {"CommittingHalfRenamed",
     J::Committing,
     {{false, false, true, true}, {true, false, false, true}, {false, true, true, false}},
     Rec::RolledBack,
     false},
    {"CommittingRollBackCutShort",
     J::Committing,
     {{false, false, false, false}, {true, false, false, false}, {false, false, true, false}},
     Rec::RolledBack,
     false},
    {"CommittedBackupsLeft",
     J::Committed,
     {{false, false, true, true}, {true, false, false, true}, {false, false, false, true}},
     Rec::Completed,
     true},
};

class CrashRecoveryTest : public UpgradeEngineTest,
                          public testing::WithParamInterface<CrashCase> {};

TEST_P(CrashRecoveryTest, NextStartRollsBackOrFinishes) {
    const CrashCase& c = GetParam();
    product::ProductOptions options = Options();
    std::fill(std::begin(options.dest), std::end(options.dest), DestState::Missing);
    Stage(options);
    Journal journal;
    journal.state = c.state;
    for (size_t row = 0; row < c.entries.size(); ++row) {
        const EntryLeft& left = c.entries[row];
        const std::string& destination = m_product.destinationFiles[row];
        journal.entries.push_back({static_cast<int>(row), left.adds});
        const std::string oldFile = product::InstalledContent(int(row));
        const std::string newFile = product::PayloadContent(int(row));
        // Every destination is missing as staged; an added one stays so until renamed.
        if (!left.adds || left.renamed)
            ASSERT_TRUE(product::WriteFileBytes(destination, left.renamed ? newFile : oldFile));
        if (left.staged)
            ASSERT_TRUE(product::WriteFileBytes(StagedPathOf(destination), newFile));
        if (left.backup)
            ASSERT_TRUE(product::WriteFileBytes(BackupPathOf(destination), oldFile));
    }
    const std::string journalPath = m_product.installBase + JournalNameOf(c.state);
    ASSERT_TRUE(product::WriteFileBytes(journalPath, FormatJournal(journal)));

    EXPECT_EQ(c.recovery, UpgradeTransaction::Recover(m_product.installBase.c_str()));
    if (c.recovery == Rec::Completed) {
        // A complete run keeps its journal until it has ended.
        EXPECT_TRUE(product::FileExists(journalPath));
        UpgradeTransaction::Finish(m_product.installBase.c_str());
    }

    EXPECT_FALSE(product::FileExists(journalPath));
    for (size_t row = 0; row < c.entries.size(); ++row) {
        SCOPED_TRACE("row " + std::to_string(row + 1));
        const std::string& destination = m_product.destinationFiles[row];
        if (c.upgraded)
            EXPECT_EQ(product::PayloadContent(int(row)), product::ReadFileBytes(destination));
        else if (c.entries[row].adds)
            EXPECT_FALSE(product::FileExists(destination));
        else
            EXPECT_EQ(product::InstalledContent(int(row)), product::ReadFileBytes(destination));
        EXPECT_FALSE(product::FileExists(StagedPathOf(destination)));
        EXPECT_FALSE(product::FileExists(BackupPathOf(destination)));
    }
}

INSTANTIATE_TEST_SUITE_P(Crashes, CrashRecoveryTest, testing::ValuesIn(kCrashCases),
                         [](const testing::TestParamInfo<CrashCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(UpgradeEngineTest, AJournalThatCannotBeReadIsKeptAndNothingIsTouched) {
    Stage(Options());
    const std::string journalPath = m_product.installBase + JournalNameOf(JournalState::Committing);
    ASSERT_TRUE(product::WriteFileBytes(journalPath, "Quillo upgrade journal 3\r\nr"));
    const TreeSnapshot before = SnapshotTree(m_product.installBase);

    EXPECT_EQ(Rec::Failed, UpgradeTransaction::Recover(m_product.installBase.c_str()));
    EXPECT_STREQ("Incomplete", OutcomeName(Run()));

    EXPECT_TRUE(SameTree(before, SnapshotTree(m_product.installBase)));
}

} // namespace
