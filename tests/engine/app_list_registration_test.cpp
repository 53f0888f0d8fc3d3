// Application-list registration on a real list file and the product's registry key under Wine.
// The rewrite of the bytes itself is covered by the pure tests; these cases are about the
// file and registry around it.
#include "engine_test_support.h"
#include "upgrade/AppListRegistration.h"
#include "upgrade/InstallInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

constexpr char kProductKey[] = "Software\\Morvane\\Quillo";
constexpr char kEntryText[] = "Pack07up02.exe";

const std::string kFiller(25, ' ');
const std::string kFfPrefix(16, '\xFF');

std::string Header(const std::string& count) {
    return count + "\r\n\r\n" + kFiller + "\r\n\r\n";
}

const std::string kTwoEntries =
    "[LIST]\r\nname1=Alpha\r\nurl1=alpha.exe\r\nname2=Beta\r\nurl2=beta.exe\r\n";

// A list file with entries 1 and 2 behind `prefix`.
std::string ListWithTwoEntries(const std::string& prefix) {
    return prefix + Header("2") + kTwoEntries;
}

// The same file after entry 3 with the name `name` has been registered.
std::string ListWithThirdEntry(const std::string& prefix, const std::string& name) {
    return prefix + Header("3") + kTwoEntries + "\r\n\r\nname3=" + name +
           "\r\nurl3=Pack07up02.exe\r\n";
}

class AppListFixture : public testing::Test {
protected:
    void SetUp() override {
        enginetest::DeleteRegistryTree(kProductKey);
        m_root = enginetest::FreshFolder("applist");
        m_base = m_root + "\\Quillo";
        m_hub = m_base + "\\QuilloHub";
        m_list = m_hub + "\\modlist.ini";
        ASSERT_TRUE(enginetest::MakeFolders(m_hub));
        ASSERT_TRUE(enginetest::SetRegistryString(kInstallInfoKey, kBasePathValue, m_base));
        ASSERT_TRUE(enginetest::SetRegistryString(kInstallInfoKey, kProductInfoValue, "Gamma"));
    }
    void TearDown() override {
        enginetest::DeleteRegistryTree(kProductKey);
        EXPECT_TRUE(enginetest::DeleteTree(m_root));
    }

    // Checks that the list file holds `bytes` and that nothing else lies beside it.
    void ExpectList(const std::string& bytes) {
        bool ok = false;
        const std::string actual = enginetest::ReadBytes(m_list, &ok);
        EXPECT_TRUE(ok) << "the list file cannot be read";
        EXPECT_EQ(bytes, actual);
        EXPECT_EQ(std::vector<std::string>{"modlist.ini"}, enginetest::ListTree(m_hub))
            << "a temporary file was left beside the list";
    }

    std::string m_root;
    std::string m_base;
    std::string m_hub;
    std::string m_list;
};

TEST_F(AppListFixture, WorkedExampleThroughTheFile) {
    const std::string before = ListWithTwoEntries(kFfPrefix);
    ASSERT_EQ(114u, before.size());
    ASSERT_TRUE(enginetest::WriteBytes(m_list, before));

    EXPECT_EQ(AppListResult::Registered, RegisterInAppList(kEntryText));

    const std::string after = ListWithThirdEntry(kFfPrefix, "Gamma");
    ASSERT_EQ(152u, after.size());
    ExpectList(after);
}

// ---------------------------------------------------------------------------------------------
// The 16 prefix bytes are never changed, whatever they hold.

struct PrefixCase {
    const char* name;
    std::string prefix;
};

void PrintTo(const PrefixCase& c, std::ostream* os) {
    *os << c.name;
}

std::string AscendingBytes() {
    std::string bytes;
    for (int i = 0; i < 16; ++i)
        bytes += static_cast<char>(i);
    return bytes;
}

const PrefixCase kPrefixCases[] = {
    {"AllZeroBytes", std::string(16, '\0')},
    {"Bytes00To0F", AscendingBytes()},
    {"AllFF", kFfPrefix},
    {"MarkerAndNumberInPrefix", "[LIST]\r\n7\0\0nam\r\n"s},
};

class AppListPrefixTest : public AppListFixture, public testing::WithParamInterface<PrefixCase> {};

TEST_P(AppListPrefixTest, PrefixStaysByteForByte) {
    const std::string& prefix = GetParam().prefix;
    ASSERT_EQ(16u, prefix.size());
    ASSERT_TRUE(enginetest::WriteBytes(m_list, ListWithTwoEntries(prefix)));

    EXPECT_EQ(AppListResult::Registered, RegisterInAppList(kEntryText));

    const std::string after = enginetest::ReadBytes(m_list);
    EXPECT_EQ(prefix, after.substr(0, 16));
    ExpectList(ListWithThirdEntry(prefix, "Gamma"));
}

INSTANTIATE_TEST_SUITE_P(Prefixes, AppListPrefixTest, testing::ValuesIn(kPrefixCases),
                         [](const testing::TestParamInfo<PrefixCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// The entry name comes from "ProductInfo"; when that cannot be read the name is empty.

struct EntryNameCase {
    const char* name;
    bool stored;
    DWORD type;
    std::string data; // raw value data
    std::string entryName;
};

void PrintTo(const EntryNameCase& c, std::ostream* os) {
    *os << c.name;
}

const EntryNameCase kEntryNameCases[] = {
    {"ProductInfoMissing", false, REG_SZ, "", ""},
    {"ProductInfoText", true, REG_SZ, "Quillo Pro 4.5\0"s, "Quillo Pro 4.5"},
    {"ProductInfoBytesAbove7F", true, REG_SZ, "Caf\xE9 \xFC\xDF\0"s, "Caf\xE9 \xFC\xDF"},
    {"ProductInfoLongerThan255", true, REG_SZ, std::string(256, 'n') + '\0', ""},
    {"ProductInfoExpandSz", true, REG_EXPAND_SZ, "Gamma\0"s, ""},
};

class AppListEntryNameTest : public AppListFixture,
                             public testing::WithParamInterface<EntryNameCase> {};

TEST_P(AppListEntryNameTest, NameLineCarriesProductInfo) {
    const EntryNameCase& c = GetParam();
    enginetest::DeleteRegistryTree(kProductKey);
    ASSERT_TRUE(enginetest::SetRegistryString(kInstallInfoKey, kBasePathValue, m_base));
    if (c.stored) {
        ASSERT_TRUE(
            enginetest::SetRegistryValue(kInstallInfoKey, kProductInfoValue, c.type, c.data));
    }
    ASSERT_TRUE(enginetest::WriteBytes(m_list, ListWithTwoEntries(kFfPrefix)));

    EXPECT_EQ(AppListResult::Registered, RegisterInAppList(kEntryText));

    ExpectList(ListWithThirdEntry(kFfPrefix, c.entryName));
}

INSTANTIATE_TEST_SUITE_P(EntryNames, AppListEntryNameTest, testing::ValuesIn(kEntryNameCases),
                         [](const testing::TestParamInfo<EntryNameCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// Files the registration leaves exactly as they are.

struct UnchangedCase {
    const char* name;
    std::string bytes;
};

void PrintTo(const UnchangedCase& c, std::ostream* os) {
    *os << c.name;
}

const UnchangedCase kUnchangedCases[] = {
    {"EmptyFile", ""},
    {"FifteenBytes", std::string(15, '\0')},
    {"FifteenBytesOfText", "[LIST]\r\nname1=A"},
    {"CountAtLargestInt", kFfPrefix + Header("2147483647") + kTwoEntries},
};

class AppListUnchangedTest : public AppListFixture,
                             public testing::WithParamInterface<UnchangedCase> {};

TEST_P(AppListUnchangedTest, FailsAndLeavesTheFile) {
    const std::string& bytes = GetParam().bytes;
    ASSERT_TRUE(enginetest::WriteBytes(m_list, bytes));

    EXPECT_EQ(AppListResult::Failed, RegisterInAppList(kEntryText));

    ExpectList(bytes);
}

INSTANTIATE_TEST_SUITE_P(Unchanged, AppListUnchangedTest, testing::ValuesIn(kUnchangedCases),
                         [](const testing::TestParamInfo<UnchangedCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(AppListFixture, ListHeldOpenByAnotherProcessIsLeftAsItWas) {
    const std::string before = ListWithTwoEntries(kFfPrefix);
    ASSERT_TRUE(enginetest::WriteBytes(m_list, before));
    AppListResult result = AppListResult::Registered;
    {
        enginetest::FileHolder holder(m_list);
        ASSERT_TRUE(holder.Holding()) << holder.Error();
        if (!holder.ByAnotherProcess())
            std::printf("HoldFile.exe not found: the list is held by a second handle\n");

        result = RegisterInAppList(kEntryText);
    }

    EXPECT_EQ(AppListResult::Failed, result);
    ExpectList(before);
}

TEST_F(AppListFixture, ReadOnlyListIsLeftAsItWas) {
    const std::string before = ListWithTwoEntries(kFfPrefix);
    ASSERT_TRUE(enginetest::WriteBytes(m_list, before));
    ASSERT_TRUE(::SetFileAttributesA(m_list.c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(AppListResult::Failed, RegisterInAppList(kEntryText));

    ExpectList(before);
}

TEST_F(AppListFixture, MissingListFileMeansNothingToRegister) {
    const std::vector<std::string> before = enginetest::ListTree(m_base);

    EXPECT_EQ(AppListResult::NothingToRegister, RegisterInAppList(kEntryText));

    EXPECT_EQ(before, enginetest::ListTree(m_base)); // no list file was created
}

TEST_F(AppListFixture, MissingListFolderMeansNothingToRegister) {
    ASSERT_TRUE(enginetest::DeleteTree(m_hub));

    EXPECT_EQ(AppListResult::NothingToRegister, RegisterInAppList(kEntryText));

    EXPECT_TRUE(enginetest::ListTree(m_base).empty());
}

TEST_F(AppListFixture, InstallBaseWithTrailingBackslash) {
    ASSERT_TRUE(enginetest::SetRegistryString(kInstallInfoKey, kBasePathValue, m_base + "\\"));
    ASSERT_TRUE(enginetest::WriteBytes(m_list, ListWithTwoEntries(kFfPrefix)));

    EXPECT_EQ(AppListResult::Registered, RegisterInAppList(kEntryText));

    ExpectList(ListWithThirdEntry(kFfPrefix, "Gamma"));
}

// Without "BasePath" the list path would name a file below the root of the current drive;
// such a file is never touched.
TEST_F(AppListFixture, MissingBasePathTouchesNothingBelowTheDriveRoot) {
    const std::string rootHub = "C:\\QuilloHub";
    const std::string rootList = rootHub + "\\modlist.ini";
    ASSERT_FALSE(enginetest::PathExists(rootHub)) << rootHub << " is not the tests' own";
    struct RemoveAtEnd {
        std::string path;
        ~RemoveAtEnd() { enginetest::DeleteTree(path); }
    } removeAtEnd{rootHub};
    ASSERT_TRUE(enginetest::MakeFolders(rootHub));
    const std::string before = ListWithTwoEntries(kFfPrefix);
    ASSERT_TRUE(enginetest::WriteBytes(rootList, before));
    ASSERT_TRUE(enginetest::WriteBytes(m_list, before));
    enginetest::DeleteRegistryTree(kProductKey);
    ASSERT_TRUE(enginetest::SetRegistryString(kInstallInfoKey, kProductInfoValue, "Gamma"));

    const AppListResult result = RegisterInAppList(kEntryText);

    EXPECT_EQ(AppListResult::Failed, result);
    EXPECT_EQ(before, enginetest::ReadBytes(rootList));
    EXPECT_EQ(std::vector<std::string>{"modlist.ini"}, enginetest::ListTree(rootHub));
    ExpectList(before);
}

// ---------------------------------------------------------------------------------------------
// Failures injected through the file layer that writes the new content.

enum class Failure { None, OpenFails, WriteAtOnce, WriteAfterSomeBytes, Flush, Close };

constexpr DWORD kInjectedError = ERROR_DISK_FULL;
constexpr UINT kBytesBeforeFailure = 40;

// A file whose Open, Write, Flush or Close fails as `failure` says; it counts what it wrote.
class FailingFile : public CFile {
public:
    explicit FailingFile(Failure failure) : m_failure(failure) {}

    BOOL Open(const char* path, UINT flags, CFileException* error = nullptr) override {
        if (m_failure == Failure::OpenFails) {
            if (error)
                *error = CFileException(path, ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return CFile::Open(path, flags, error);
    }
    void Write(const void* buffer, UINT count) override {
        UINT allowed = count;
        if (m_failure == Failure::WriteAtOnce)
            allowed = 0;
        else if (m_failure == Failure::WriteAfterSomeBytes)
            allowed =
                std::min(count, kBytesBeforeFailure - std::min(kBytesBeforeFailure, m_written));
        CFile::Write(buffer, allowed);
        m_written += allowed;
        if (allowed < count)
            throw CFileException(GetFilePath(), kInjectedError);
    }
    void Flush() override {
        CFile::Flush();
        if (m_failure == Failure::Flush)
            throw CFileException(GetFilePath(), kInjectedError);
    }
    void Close() override {
        CFile::Close();
        if (m_failure == Failure::Close)
            throw CFileException(GetFilePath(), kInjectedError);
    }

    UINT Written() const { return m_written; }

private:
    Failure m_failure;
    UINT m_written = 0;
};

struct InjectedCase {
    const char* name;
    Failure failure;
    bool raises;          // a CFileException reaches the caller
    AppListResult result; // the result when nothing is raised
};

void PrintTo(const InjectedCase& c, std::ostream* os) {
    *os << c.name;
}

const InjectedCase kInjectedCases[] = {
    {"NoFailure", Failure::None, false, AppListResult::Registered},
    {"OpenFails", Failure::OpenFails, false, AppListResult::Failed},
    {"WriteFailsAtOnce", Failure::WriteAtOnce, true, AppListResult::Failed},
    {"WriteFailsAfterSomeBytes", Failure::WriteAfterSomeBytes, true, AppListResult::Failed},
    {"FlushFails", Failure::Flush, true, AppListResult::Failed},
    {"CloseFails", Failure::Close, true, AppListResult::Failed},
};

class AppListInjectedTest : public AppListFixture,
                            public testing::WithParamInterface<InjectedCase> {};

TEST_P(AppListInjectedTest, FailureLeavesTheOldFile) {
    const InjectedCase& c = GetParam();
    const std::string before = ListWithTwoEntries(kFfPrefix);
    ASSERT_TRUE(enginetest::WriteBytes(m_list, before));
    FailingFile file(c.failure);

    bool raised = false;
    AppListResult result = AppListResult::Registered;
    try {
        result = RegisterInAppList(kEntryText, file);
    } catch (const CFileException& error) {
        raised = true;
        EXPECT_EQ(kInjectedError, error.m_lOsError);
        // The error names the list file the user knows, not the temporary file.
        EXPECT_EQ(m_list, error.m_strFileName.Str());
    }

    EXPECT_EQ(c.raises, raised);
    if (!c.raises) {
        EXPECT_EQ(c.result, result);
    }
    if (c.failure == Failure::None) {
        const std::string after = ListWithThirdEntry(kFfPrefix, "Gamma");
        EXPECT_EQ(after.size(), file.Written()); // the new content went through the given file
        ExpectList(after);
    } else {
        ExpectList(before);
    }
}

INSTANTIATE_TEST_SUITE_P(Injected, AppListInjectedTest, testing::ValuesIn(kInjectedCases),
                         [](const testing::TestParamInfo<InjectedCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
