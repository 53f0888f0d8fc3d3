// CRegReader::ReadString against the real registry under Wine (HKLM, the program's 32-bit view).
#include "engine_test_support.h"
#include "upgrade/RegReader.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using namespace std::string_literals;

namespace {

constexpr char kTestKey[] = "Software\\Morvane\\QuilloTest";
constexpr char kValuesKey[] = "Software\\Morvane\\QuilloTest\\Values";
constexpr char kPreviousText[] = "text held before the read";

// How a case stores its value before the read: the raw data as RegSetValueExA receives it.
struct StoredValue {
    DWORD type;
    std::string data;
};

struct ReadCase {
    const char* name;
    StoredValue stored;    // stored as value "Stored" of kValuesKey
    const char* readKey;   // the key path given to the reader
    const char* readValue; // the value name given to the reader
    bool ok;
    std::string text; // what `out` holds afterwards when ok
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

std::string Text(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i)
        text += static_cast<char>('a' + i % 26);
    return text;
}

std::string WithNul(const std::string& text) {
    return text + '\0';
}

const std::string kDword = "\x95\x11\x00\x00"s; // 4501

const ReadCase kReadCases[] = {
    // REG_SZ written with its terminator.
    {"Text255", {REG_SZ, WithNul(Text(255))}, kValuesKey, "Stored", true, Text(255)},
    {"Text256", {REG_SZ, WithNul(Text(256))}, kValuesKey, "Stored", false, ""},
    {"Text300", {REG_SZ, WithNul(Text(300))}, kValuesKey, "Stored", false, ""},
    {"TerminatorOnly", {REG_SZ, "\0"s}, kValuesKey, "Stored", true, ""},
    {"BytesAbove7F",
     {REG_SZ, WithNul("Caf\xE9 \xFC\xDF")},
     kValuesKey,
     "Stored",
     true,
     "Caf\xE9 \xFC\xDF"},
    // REG_SZ data as stored by a program that left out the terminator: only the bytes the
    // query returns are taken, and 256 of them are one more than a value may hold.
    {"NoDataAtAll", {REG_SZ, ""}, kValuesKey, "Stored", true, ""},
    {"Raw10NoNul", {REG_SZ, "0123456789"}, kValuesKey, "Stored", true, "0123456789"},
    {"Raw255NoNul", {REG_SZ, Text(255)}, kValuesKey, "Stored", true, Text(255)},
    {"Raw256NoNul", {REG_SZ, Text(256)}, kValuesKey, "Stored", false, ""},
    {"EmbeddedNul", {REG_SZ, "4.501\0junk\0"s}, kValuesKey, "Stored", true, "4.501"},
    // Other types, whatever they hold.
    {"ExpandSz", {REG_EXPAND_SZ, WithNul("4.501")}, kValuesKey, "Stored", false, ""},
    {"Dword", {REG_DWORD, kDword}, kValuesKey, "Stored", false, ""},
    {"Binary", {REG_BINARY, WithNul("4.501")}, kValuesKey, "Stored", false, ""},
    {"MultiSz", {REG_MULTI_SZ, "4.501\0\0"s}, kValuesKey, "Stored", false, ""},
    // Where the reader looks.
    {"ValueMissingUnderExistingKey", {REG_SZ, WithNul("4.501")}, kValuesKey, "Absent", false, ""},
    {"KeyMissing",
     {REG_SZ, WithNul("4.501")},
     "Software\\Morvane\\QuilloTest\\Absent",
     "Stored",
     false,
     ""},
    {"KeyAndValueInOtherCapitals",
     {REG_SZ, WithNul("4.501")},
     "SOFTWARE\\morvane\\QUILLOtest\\vALUES",
     "STORED",
     true,
     "4.501"},
};

// The handle value a fresh open of the test key gets. Handles are given out from the lowest free
// slot, so the value moves when a handle was left open in between.
HKEY ProbeKeyHandle() {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    ::RegCloseKey(key);
    return key;
}

class RegReaderTest : public testing::TestWithParam<ReadCase> {
protected:
    void SetUp() override { enginetest::DeleteRegistryTree(kTestKey); }
    void TearDown() override { enginetest::DeleteRegistryTree(kTestKey); }
};

TEST_P(RegReaderTest, ReadsOnlyFittingStringValues) {
    const ReadCase& c = GetParam();
    ASSERT_TRUE(enginetest::SetRegistryValue(kValuesKey, "Stored", c.stored.type, c.stored.data));
    CString out = kPreviousText;
    CRegReader reader;
    const HKEY before = ProbeKeyHandle();
    ASSERT_NE(nullptr, before);

    const bool ok = reader.ReadString(c.readKey, c.readValue, &out, HKEY_LOCAL_MACHINE);

    EXPECT_EQ(c.ok, ok);
    EXPECT_EQ(before, ProbeKeyHandle()) << "the read left a key handle open";
    // A failed read keeps the caller's text exactly.
    const std::string expected = c.ok ? c.text : kPreviousText;
    EXPECT_EQ(expected, out.Str());
}

INSTANTIATE_TEST_SUITE_P(Values, RegReaderTest, testing::ValuesIn(kReadCases),
                         [](const testing::TestParamInfo<ReadCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
