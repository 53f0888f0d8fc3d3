// The upgrade engine on a staged product under Wine, on real files and the real registry: every
// row replaced or left by the newer-or-missing rule and the upgrade registered in the list file,
// or, when anything fails, the whole install tree exactly as it was; installed files keep what
// they carry; a run cut short is rolled back or finished from its journal.
#include "Staging.h"
#include "EngineRun.h"
#include "engine_test_support.h"
#include "test_files.h"
#include "upgrade/AppListRegistration.h"
#include "upgrade/FileOps.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/Journal.h"
#include "upgrade/PathRules.h"
#include "upgrade/Recovery.h"
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
using product::FinishRun;
using product::TreeAt;

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

const char* OutcomeName(bool upgraded) {
    return upgraded ? "Upgraded" : "Incomplete";
}

const char* CheckName(ProductCheck check) {
    switch (check) {
    case ProductCheck::Matches:
        return "Usable";
    case ProductCheck::WrongProduct:
        return "NotInstalled";
    default:
        return "Unusable";
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
    bool Run(const std::string& baseSuffix = "") {
        std::string base = m_product.installBase + baseSuffix;
        m_error = product::UpgradeAlone(m_product.setupFolder.c_str(), TreeAt(base), kEntryText);
        return m_error.Ok();
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
    Result m_error; // what the last run blamed
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
    bool upgrades;
    // The file an incomplete run names as standing in the way.
    std::function<std::string(const product::StagedProduct&)> blames;
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
const bool kUpgraded = true, kIncomplete = false;

void SetReadOnly(const std::string& path) {
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
}

std::function<std::string(const P&)> Payload(int row) {
    return [row](const P& p) { return p.payloadFiles[row]; };
}
std::function<std::string(const P&)> Destination(int row) {
    return [row](const P& p) { return p.destinationFiles[row]; };
}
std::string ListOf(const P& p) {
    return p.listFile;
}

const UpgradeCase kUpgradeCases[] = {
    {"EveryRowOlder", {}, kUpgraded},
    {"MixedRows", {O, B, S, N, M, O, S, M, M}, kUpgraded},
    // Rows 4 and 5 share a folder, which is absent; rows 8 and 9 are installed.
    {"ComponentFolderAbsent", {N, O, B, F, F, M, O, B, N}, kUpgraded},
    {"NothingNewerStillRegisters", {N, N, N, S, S, N, N, N, N}, kUpgraded},
    {"InstallBaseWithTrailingBackslash", {}, kUpgraded, {}, {}, "\\"},
    {"NoListFile", {}, kUpgraded, {}, {}, "", false},
    // Read-only payload files, as from a CD, are installed all the same; read-only installed
    // files and lists are replaced too (and stay read-only).
    {"ReadOnlyPayloads",
     {},
     kUpgraded,
     {},
     [](T&, const P& p) {
         for (const std::string& payload : p.payloadFiles)
             SetReadOnly(payload);
     }},
    {"ReadOnlyDestination",
     {},
     kUpgraded,
     {},
     [](T&, const P& p) { SetReadOnly(p.destinationFiles[0]); }},
    {"ReadOnlyList", {}, kUpgraded, {}, [](T&, const P& p) { SetReadOnly(p.listFile); }},
    // Every failure leaves every file as it was, and names the file in the way.
    {"PayloadMissing",
     {},
     kIncomplete,
     Payload(2),
     [](T&, const P& p) { ASSERT_TRUE(::DeleteFileA(p.payloadFiles[2].c_str())); }},
    {"PayloadEmpty",
     {},
     kIncomplete,
     Payload(5),
     [](T&, const P& p) { ASSERT_TRUE(product::WriteFileBytes(p.payloadFiles[5], "")); }},
    {"RowSixHeldOpen", {}, kIncomplete, Destination(5), {}, "", true, {6}},
    {"FirstAndLastRowsHeldOpen", {}, kIncomplete, Destination(0), {}, "", true, {1, 9}},
    {"ListHeldOpen", {}, kIncomplete, ListOf, {}, "", true, {10}},
    {"ListTooShort",
     {},
     kIncomplete,
     ListOf,
     [](T&, const P& p) {
         ASSERT_TRUE(product::WriteFileBytes(p.listFile, std::string(15, 'x')));
     }},
    {"ListCountOverflows",
     {},
     kIncomplete,
     ListOf,
     [](T&, const P& p) {
         ASSERT_TRUE(product::WriteFileBytes(p.listFile, ListWithEntries("2147483647")));
     }},
    // A name the upgrade would make beside an installed file, made after the start of Setup
    // looked: the upgrade makes nothing (the next start deletes or puts back what it finds).
    {"StagedNameTaken",
     {},
     kIncomplete,
     [](const P& p) { return StagedPathOf(p.destinationFiles[3]); },
     [](T&, const P& p) {
         ASSERT_TRUE(product::WriteFileBytes(StagedPathOf(p.destinationFiles[3]), "theirs"));
     }},
    {"BackupNameTaken",
     {},
     kIncomplete,
     [](const P& p) { return BackupPathOf(p.listFile); },
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

    EXPECT_STREQ(OutcomeName(c.upgrades), OutcomeName(Run(c.baseSuffix)));
    if (c.blames) {
        EXPECT_EQ(c.blames(m_product), m_error.path.Str());
        EXPECT_NE(m_error.code, 0u);
    }

    m_holders.clear();
    // A complete run keeps its journal until it has ended.
    FinishRun(m_product.installBase);
    const TreeSnapshot installAfter = SnapshotTree(m_product.installBase);
    if (c.upgrades)
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

// A new file taken by another program (a virus scanner, say) the moment Setup has written it: the
// upgrade cannot put it in place, nor can its roll-back delete it. The roll-back says so (never
// "nothing was changed" on its word alone); every installed file is as it was; the next start
// deletes what is left.
DWORD WINAPI TakeWhenWritten(void* path) {
    for (int tries = 0; tries < 30000; ++tries) {
        HANDLE file = ::CreateFileA(static_cast<const char*>(path), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::Sleep(6000); // past the upgrade's retries and its roll-back's
            ::CloseHandle(file);
            return 0;
        }
        ::Sleep(1);
    }
    return 1;
}

TEST_F(UpgradeEngineTest, ARollBackThatFailsSaysSoAndTheNextStartEndsIt) {
    Stage(Options());
    const TreeSnapshot before = SnapshotTree(m_product.installBase);
    std::string staged = StagedPathOf(m_product.destinationFiles[0]);
    HANDLE scanner = ::CreateThread(nullptr, 0, TakeWhenWritten, &staged[0], 0, nullptr);
    ASSERT_NE(scanner, nullptr);
    UpgradeReport report;
    const Result done = product::UpgradeAlone(m_product.setupFolder.c_str(),
                                              TreeAt(m_product.installBase), kEntryText, &report);
    EXPECT_FALSE(done);
    EXPECT_FALSE(report.rollBack) << "the roll-back was taken for complete";
    EXPECT_EQ(staged, report.rollBack.path.Str());
    EXPECT_EQ(::WaitForSingleObject(scanner, 60000), WAIT_OBJECT_0);
    ::CloseHandle(scanner);
    RecoveryPlan::Outcome found;
    std::vector<CString> waiting;
    EXPECT_TRUE(UpgradeTransaction::Recover(TreeAt(m_product.installBase), &found, &waiting));
    EXPECT_EQ(found, RecoveryPlan::Outcome::RolledBack);
    EXPECT_TRUE(SameTree(before, SnapshotTree(m_product.installBase)));
}

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

// A file named in its short (8.3) form is the plain file of that name: the name compared with the
// open file's is the long one its folder lists.
TEST_F(UpgradeEngineTest, APlainFileOpensByItsShortName) {
    Stage(Options());
    const std::string named =
        CodePageText(AfxShortPathOf(WideText(m_product.destinationFiles[1])), CP_ACP);
    ASSERT_NE(named, m_product.destinationFiles[1]) << "no short name here";
    FileHandle file;
    const Result opened = OpenPlainFile(named.c_str(), GENERIC_READ, FILE_SHARE_READ, &file);
    EXPECT_TRUE(opened) << named << ": " << opened.code;
}

// A deletion within a folder held stays in that folder: once the folder has been renamed away and
// a link to another folder put in its place, the file the path now leads to stays. (Windows
// refuses the rename while the folder is held without sharing deletion; Wine does not.)
TEST_F(UpgradeEngineTest, ADeletionWithinAHeldFolderStaysInIt) {
    const std::string held = m_root + "\\held", moved = m_root + "\\moved";
    const std::string other = m_root + "\\other";
    for (const std::string& folder : {held, other}) {
        ASSERT_TRUE(product::MakeFolders(folder));
        ASSERT_TRUE(product::WriteFileBytes(folder + "\\Setup.exe", folder));
    }
    const FileHandle folder(::CreateFileA(held.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(folder);
    if (!::MoveFileA(held.c_str(), moved.c_str())) {
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        return;
    }
    ASSERT_TRUE(product::MakeLink(other, held, true));
    EXPECT_EQ(RemoveFile((held + "\\Setup.exe").c_str(), kTryOnce, folder.Get()).code,
              static_cast<DWORD>(ERROR_CANT_RESOLVE_FILENAME));
    EXPECT_EQ(product::ReadFileBytes(other + "\\Setup.exe"), other);
    EXPECT_EQ(product::ReadFileBytes(moved + "\\Setup.exe"), held);
}

TEST_F(UpgradeEngineTest, ReplacedFilesKeepAttributesCreationTimeAndAccessRules) {
    Stage(Options());
    const std::vector<std::string> files = {m_product.destinationFiles[0], m_product.listFile};
    std::vector<Carried> before;
    for (const std::string& path : files) {
        ASSERT_TRUE(GrantEveryone(path)) << path;
        ASSERT_TRUE(
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
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
    ProductCheck check;
};

void PrintTo(const BaseCase& c, std::ostream* os) {
    *os << c.name;
}

const BaseCase kBaseCases[] = {
    {"InstalledProduct", [](const P& p) { return p.installBase; }, ProductCheck::Matches},
    {"TrailingBackslash", [](const P& p) { return p.installBase + "\\"; }, ProductCheck::Matches},
    {"FolderAbsent", [](const P& p) { return p.installBase + "Gone"; }, ProductCheck::WrongProduct},
    {"ParentAbsent", [](const P& p) { return p.installBase + "Gone\\Quillo"; },
     ProductCheck::WrongProduct},
    {"EmptyFolder", [](const P& p) { return p.installBase + "\\QuilloHub"; },
     ProductCheck::WrongProduct},
    {"AFile", [](const P& p) { return p.listFile; }, ProductCheck::Unusable},
    {"Relative", [](const P&) { return std::string("Quillo"); }, ProductCheck::Unusable},
    {"BelowTheDriveRoot", [](const P&) { return std::string("\\Quillo"); }, ProductCheck::Unusable},
    {"Empty", [](const P&) { return std::string(); }, ProductCheck::Unusable},
    {"LongerThanTheFileFunctionsTake",
     [](const P& p) { return p.installBase + "\\" + std::string(260, 'q'); },
     ProductCheck::Unusable},
};

class InstallBaseTest : public UpgradeEngineTest, public testing::WithParamInterface<BaseCase> {};

TEST_P(InstallBaseTest, TellsWhetherTheProductIsThere) {
    Stage(Options());
    ProductTree tree;
    EXPECT_STREQ(CheckName(GetParam().check),
                 CheckName(ProductTree::Open(GetParam().base(m_product).c_str(), &tree, m_error)));
}

INSTANTIATE_TEST_SUITE_P(Bases, InstallBaseTest, testing::ValuesIn(kBaseCases),
                         [](const testing::TestParamInfo<BaseCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// What an upgrade cut short (or a recovery cut short, a lost or restored journal, a meddling
// program) left on the disk, and what the next start makes of it: every installed file whole and
// as it was before the upgrade, or the upgrade complete; nothing of it left; a second recovery
// finds nothing to do; and the upgrade can then run. The states themselves are walked one by one
// by the recovery plan's tests; these rows carry them out on real files.

enum class Content { Old, New };
using Rec = RecoveryPlan::Outcome;

class RecoveryTest : public UpgradeEngineTest {
public:
    std::string PathOf(int row, Place place) const {
        const std::string& installed = m_product.destinationFiles[row];
        return place == Place::Staged   ? StagedPathOf(installed)
               : place == Place::Backup ? BackupPathOf(installed)
                                        : installed;
    }
    // Puts the old or the new file of `row` at `place`, with its time.
    void Put(int row, Place place, Content content) {
        const std::string path = PathOf(row, place);
        const bool isNew = content == Content::New;
        ASSERT_TRUE(product::WriteFileBytes(path, isNew ? product::PayloadContent(row)
                                                        : product::InstalledContent(row)));
        ASSERT_TRUE(product::SetFileTicks(path, isNew ? NewTicks(row) : OldTicks(row)));
    }
    void Remove(int row, Place place) { ASSERT_TRUE(product::DeleteTree(PathOf(row, place))); }
    // A journal in `state` of the rows (0-based; negative: -1 - row for a row the upgrade adds).
    void WriteJournal(JournalState state, std::vector<int> rows) {
        Journal journal;
        for (int row : rows) {
            const int r = row < 0 ? -1 - row : row;
            journal.entries.push_back({r, row < 0, product::PayloadContent(r).size(), NewTicks(r)});
        }
        WriteJournalText(state, FormatJournal(journal));
    }
    void WriteJournalText(JournalState state, const std::string& text) {
        ASSERT_TRUE(product::WriteFileBytes(JournalPath(state), text));
    }
    std::string JournalPath(JournalState state) const {
        return m_product.installBase + JournalNameOf(state);
    }
    // What a recovery of `base` found; it must succeed.
    static Rec Recovered(const std::string& base) {
        Rec found = Rec::None;
        std::vector<CString> waiting;
        Result done = UpgradeTransaction::Recover(TreeAt(base), &found, &waiting);
        EXPECT_TRUE(done) << done.path.Str() << " " << done.code;
        return found;
    }

private:
    static long long NewTicks(int row) { return product::PayloadTicks(row, DestState::Older); }
    static long long OldTicks(int row) { return product::InstalledTicks(row, DestState::Older); }
};

struct RecoveryCase {
    const char* name;
    std::function<void(RecoveryTest&)> arrange;
    Rec recovery;
    // Rows (0-based) whose installed file is then the new one; any other row keeps the old one,
    // or stays missing where the upgrade added it.
    std::vector<int> upgraded;
    std::vector<int> added; // rows the upgrade added, missing before it
    // Held open by another program during the first recovery, which fails naming it.
    std::function<std::string(const RecoveryTest&)> held;
};

void PrintTo(const RecoveryCase& c, std::ostream* os) {
    *os << c.name;
}

class RecoveryTableTest : public RecoveryTest, public testing::WithParamInterface<RecoveryCase> {};

using J = JournalState;
using Pl = Place;

const RecoveryCase kRecoveryCases[] = {
    // A recovery of an earlier kind, cut short: the staged copy deleted, the backup (a second
    // name of the installed file) left beside it.
    {"BackupLinkLeftByARecoveryCutShort",
     [](RecoveryTest& t) {
         t.WriteJournal(J::Committing, {0});
         ASSERT_TRUE(::CreateHardLinkA(t.PathOf(0, Pl::Backup).c_str(),
                                       t.PathOf(0, Pl::Destination).c_str(), nullptr));
     },
     Rec::RolledBack},
    // A committed journal that does not hold: the product was never upgraded.
    {"StaleCommittedJournal",
     [](RecoveryTest& t) {
         t.WriteJournal(J::Committed, {0, 1});
     },
     Rec::RolledBack},
    // Journals that cannot be read, or none: the files say enough to roll back.
    {"GarbageJournal",
     [](RecoveryTest& t) {
         t.WriteJournalText(J::Committing, "\x01garbage");
         t.Put(0, Pl::Destination, Content::New);
         t.Put(0, Pl::Backup, Content::Old);
     },
     Rec::RolledBack},
    {"EmptyCommittedJournalAndAStagedCopy",
     [](RecoveryTest& t) {
         t.WriteJournalText(J::Committed, "");
         t.Put(2, Pl::Staged, Content::New);
     },
     Rec::RolledBack},
    {"StagedCopyWithoutJournal", [](RecoveryTest& t) { t.Put(3, Pl::Staged, Content::New); },
     Rec::RolledBack},
    {"ReplacedFileWithoutJournal",
     [](RecoveryTest& t) {
         t.Put(0, Pl::Destination, Content::New);
         t.Put(0, Pl::Backup, Content::Old);
     },
     Rec::RolledBack},
    // Both journal names (one restored by a backup program): the later state decides while it
    // holds.
    {"CommittedBesideCommittingNotComplete",
     [](RecoveryTest& t) {
         t.WriteJournal(J::Committing, {0, 1});
         t.WriteJournal(J::Committed, {0, 1});
         t.Put(0, Pl::Destination, Content::New);
         t.Put(0, Pl::Backup, Content::Old);
         t.Remove(1, Pl::Destination);
         t.Put(1, Pl::Backup, Content::Old);
         t.Put(1, Pl::Staged, Content::New);
     },
     Rec::RolledBack},
    {"CommittedBesideCommittingComplete",
     [](RecoveryTest& t) {
         t.WriteJournal(J::Committing, {0, 1});
         t.WriteJournal(J::Committed, {0, 1});
         for (int row : {0, 1}) {
             t.Put(row, Pl::Destination, Content::New);
             t.Put(row, Pl::Backup, Content::Old);
         }
     },
     Rec::Completed,
     {0, 1}},
    // Cut short in the commit: one file renamed into place, an added one too, one not yet.
    {"CommittingHalfRenamedWithAnAddedFile",
     [](RecoveryTest& t) {
         t.WriteJournal(J::Committing, {0, -1 - 6, 2});
         t.Put(0, Pl::Destination, Content::New);
         t.Put(0, Pl::Backup, Content::Old);
         t.Put(6, Pl::Destination, Content::New);
         t.Put(2, Pl::Staged, Content::New);
     },
     Rec::RolledBack,
     {},
     {6}},
    {"ReadOnlyFileRenamedIntoPlace",
     [](RecoveryTest& t) {
         t.WriteJournal(J::Committing, {1});
         t.Put(1, Pl::Destination, Content::New);
         t.Put(1, Pl::Backup, Content::Old);
         SetReadOnly(t.PathOf(1, Pl::Destination));
         SetReadOnly(t.PathOf(1, Pl::Backup));
     },
     Rec::RolledBack},
    {"CommittedWithABackupLeft",
     [](RecoveryTest& t) {
         t.WriteJournal(J::Committed, {0, 1});
         t.Put(0, Pl::Destination, Content::New);
         t.Put(0, Pl::Backup, Content::Old);
         t.Put(1, Pl::Destination, Content::New);
     },
     Rec::Completed,
     {0, 1}},
    // A journal held open by another program: the recovery names it, and acts once it is free.
    {"JournalHeldOpen",
     [](RecoveryTest& t) {
         t.WriteJournal(J::Committing, {0});
         t.Put(0, Pl::Destination, Content::New);
         t.Put(0, Pl::Backup, Content::Old);
     },
     Rec::RolledBack,
     {},
     {},
     [](const RecoveryTest& t) { return t.JournalPath(J::Committing); }},
    // A backup held open by another program (a virus scanner reading it): nothing is acted on,
    // so the installed file is never missing.
    {"BackupHeldOpen",
     [](RecoveryTest& t) {
         t.WriteJournal(J::Committing, {5});
         t.Put(5, Pl::Destination, Content::New);
         t.Put(5, Pl::Backup, Content::Old);
     },
     Rec::RolledBack,
     {},
     {},
     [](const RecoveryTest& t) { return t.PathOf(5, Pl::Backup); }},
};

TEST_P(RecoveryTableTest, EndsWholeWithNothingLeftAndTheUpgradeCanRun) {
    const RecoveryCase& c = GetParam();
    Stage(Options());
    for (int row : c.added)
        ASSERT_NO_FATAL_FAILURE(Remove(row, Pl::Destination));
    ASSERT_NO_FATAL_FAILURE(c.arrange(*this));
    const std::string base = m_product.installBase;
    // The old file's attributes, which it keeps when it is put back.
    DWORD oldAttributes[9];
    for (int row = 0; row < 9; ++row) {
        oldAttributes[row] = ::GetFileAttributesA(PathOf(row, Pl::Backup).c_str());
        if (oldAttributes[row] == INVALID_FILE_ATTRIBUTES)
            oldAttributes[row] = ::GetFileAttributesA(PathOf(row, Pl::Destination).c_str());
    }
    if (c.held) {
        ASSERT_NO_FATAL_FAILURE(HoldFile(c.held(*this)));
        const TreeSnapshot before = SnapshotTree(base);
        Rec found = Rec::None;
        std::vector<CString> waiting;
        Result held = UpgradeTransaction::Recover(TreeAt(base), &found, &waiting);
        EXPECT_FALSE(held);
        EXPECT_EQ(c.held(*this), held.path.Str());
        EXPECT_TRUE(SameTree(before, SnapshotTree(base))) << "the recovery acted part-way";
        m_holders.clear();
    }

    EXPECT_EQ(c.recovery, Recovered(base));
    if (c.recovery == Rec::Completed) {
        // A complete run keeps its journal until it has ended.
        EXPECT_TRUE(product::FileExists(JournalPath(J::Committed)));
        EXPECT_EQ(Rec::Completed, Recovered(base));
        FinishRun(base);
    }
    EXPECT_EQ(Rec::None, Recovered(base));

    for (int row = 0; row < 9; ++row) {
        SCOPED_TRACE("row " + std::to_string(row + 1));
        const std::string& installed = m_product.destinationFiles[row];
        const bool upgraded =
            std::find(c.upgraded.begin(), c.upgraded.end(), row) != c.upgraded.end();
        const bool added = std::find(c.added.begin(), c.added.end(), row) != c.added.end();
        if (upgraded)
            EXPECT_EQ(product::PayloadContent(row), product::ReadFileBytes(installed));
        else if (added)
            EXPECT_FALSE(product::FileExists(installed));
        else {
            EXPECT_EQ(product::InstalledContent(row), product::ReadFileBytes(installed));
            EXPECT_EQ(oldAttributes[row], ::GetFileAttributesA(installed.c_str()));
        }
        EXPECT_FALSE(product::FileExists(StagedPathOf(installed)));
        EXPECT_FALSE(product::FileExists(BackupPathOf(installed)));
    }
    for (J state : {J::Committing, J::Committed})
        EXPECT_FALSE(product::FileExists(JournalPath(state)));

    // No dead end: the upgrade runs now.
    EXPECT_STREQ("Upgraded", OutcomeName(Run())) << m_error.path.Str() << " " << m_error.code;
}

INSTANTIATE_TEST_SUITE_P(States, RecoveryTableTest, testing::ValuesIn(kRecoveryCases),
                         [](const testing::TestParamInfo<RecoveryCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
