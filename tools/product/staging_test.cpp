// Staging of the simulated product: registry values, file times per destination state,
// contents and the application-list file, all below C:\QuilloTests\staging.
#include "ProcessHelpers.h"
#include "Staging.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>

namespace {

const char kRoot[] = "C:\\QuilloTests\\staging";
// Spelled as Setup.exe reads it; key names match without regard to case.
const char kVersionKey[] = "Software\\Morvane\\Quillo\\system\\installinfo";

struct RegValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

RegValue ReadValue(const char* name) {
    RegValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return value;
    }
    char data[512] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) ==
        ERROR_SUCCESS) {
        value.present = true;
        value.bytes.assign(data, size);
    }
    RegCloseKey(key);
    return value;
}

std::string ZeroTerminated(const std::string& text) {
    return text + std::string(1, '\0');
}

class StagingTest : public ::testing::Test {
protected:
    StagingTest() { options.root = kRoot; }
    void TearDown() override {
        product::RemoveProductRegistry();
        product::DeleteTree(kRoot);
        RemoveDirectoryA("C:\\QuilloTests");
    }
    product::ProductOptions options;
};

TEST_F(StagingTest, WritesTheDefaultRegistryValues) {
    product::StagedProduct staged = product::StageProduct(options);
    EXPECT_EQ(staged.installBase, "C:\\QuilloTests\\staging\\Quillo");

    RegValue version = ReadValue("CurrentVersion");
    EXPECT_EQ(version.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(version.bytes, ZeroTerminated("4.501"));
    RegValue basePath = ReadValue("BasePath");
    EXPECT_EQ(basePath.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(basePath.bytes, ZeroTerminated(staged.installBase));
    EXPECT_EQ(ReadValue("ProductInfo").bytes, ZeroTerminated("Quillo Pro 4.5"));
}

TEST_F(StagingTest, WritesTheRegistryVariantsAndRemovesEarlierValues) {
    options.versionType = REG_DWORD;
    options.basePathSuffix = "\\";
    options.writeProductInfo = false;
    product::StagedProduct staged = product::StageProduct(options);

    RegValue version = ReadValue("CurrentVersion");
    EXPECT_EQ(version.type, static_cast<DWORD>(REG_DWORD));
    DWORD number = 4501;
    EXPECT_EQ(version.bytes, std::string(reinterpret_cast<const char*>(&number), 4));
    EXPECT_EQ(ReadValue("BasePath").bytes, ZeroTerminated(staged.installBase + "\\"));
    EXPECT_FALSE(ReadValue("ProductInfo").present);

    options.writeVersion = false;
    options.writeBasePath = false;
    product::StageProduct(options);
    EXPECT_FALSE(ReadValue("CurrentVersion").present);
    EXPECT_FALSE(ReadValue("BasePath").present);
}

TEST_F(StagingTest, GivesEachDestinationStateItsTime) {
    using product::DestState;
    const DestState states[9] = {DestState::Older, DestState::OlderBySecond, DestState::SameSecond,
                                 DestState::Newer, DestState::Missing,       DestState::Older,
                                 DestState::Older, DestState::FolderAbsent,  DestState::Older};
    std::copy(std::begin(states), std::end(states), options.dest);
    product::StagedProduct staged = product::StageProduct(options);

    const long long day = 24 * 60 * 60;
    const long long offsets[9] = {-day, -1, 0, day, 0, -day, -day, 0, -day};
    for (int row = 0; row < 9; ++row) {
        SCOPED_TRACE(row);
        long long payload = product::FileSeconds(staged.payloadFiles[row]);
        EXPECT_EQ(payload, product::kPayloadBaseSeconds + 60 * row);
        if (row == 4 || row == 7) {
            EXPECT_FALSE(product::FileExists(staged.destinationFiles[row]));
            continue;
        }
        EXPECT_EQ(product::FileSeconds(staged.destinationFiles[row]), payload + offsets[row]);
    }
    // Same second, but the payload half a second later within it.
    EXPECT_EQ(product::FileTicks(staged.payloadFiles[2]) -
                  product::FileTicks(staged.destinationFiles[2]),
              product::kTicksPerSecond / 2);
    EXPECT_TRUE(product::FolderExists(staged.installBase + "\\QuilloSA\\QuilloTTS"));
    EXPECT_FALSE(product::FolderExists(staged.installBase + "\\QuilloMT"));
}

TEST_F(StagingTest, WritesDistinctContentsTheListAndTheSetupFolder) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    options.setupExeSource = self;
    options.setupFolderName = "setup folder";
    options.payloadPresent[5] = false;
    product::StagedProduct staged = product::StageProduct(options);

    std::set<std::string> contents;
    for (int row = 0; row < 9; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(product::ReadFileBytes(staged.destinationFiles[row]),
                  product::InstalledContent(row));
        contents.insert(product::InstalledContent(row));
        contents.insert(product::PayloadContent(row));
        if (row != 5) {
            EXPECT_EQ(product::ReadFileBytes(staged.payloadFiles[row]),
                      product::PayloadContent(row));
        }
    }
    EXPECT_EQ(contents.size(), 18u);
    EXPECT_FALSE(product::FileExists(staged.payloadFiles[5]));
    EXPECT_EQ(staged.setupExe, "C:\\QuilloTests\\staging\\setup folder\\Setup.exe");
    EXPECT_EQ(product::ReadFileBytes(staged.setupExe), product::ReadFileBytes(self));

    std::string list = product::ReadFileBytes(staged.listFile);
    ASSERT_EQ(list, product::DefaultListBytes());
    ASSERT_EQ(list.size(), 114u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(list[i], static_cast<char>(i));
    }
    EXPECT_EQ(list.substr(16, 3), "2\r\n");
    EXPECT_EQ(list.substr(50, 8), "[LIST]\r\n");

    options.listBytes = std::string("\xFF\0short", 7);
    staged = product::StageProduct(options);
    EXPECT_EQ(product::ReadFileBytes(staged.listFile), options.listBytes);
    options.writeListFile = false;
    staged = product::StageProduct(options);
    EXPECT_FALSE(product::FileExists(staged.listFile));
    EXPECT_TRUE(product::FolderExists(staged.installBase));
}

// The build writes the simulated payload that SetupFixedPayload.exe is fixed to into
// simulated_payload beside this program: the same bytes that staging puts in the setup folder.
TEST(SimulatedPayloadTest, TheBuildWritesWhatStagingWrites) {
    std::string folder = product::SiblingProgram("simulated_payload");
    for (int row = 0; row < 9; ++row) {
        std::string path = folder + product::kSourceNames[row];
        ASSERT_TRUE(product::FileExists(path)) << path;
        EXPECT_EQ(product::ReadFileBytes(path), product::PayloadContent(row)) << path;
    }
}

} // namespace
