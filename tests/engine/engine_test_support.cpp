#include "engine_test_support.h"

#include "helper_programs.h"
#include "test_files.h"

namespace enginetest {

namespace {
// The holder program keeps its file for this long unless it is ended first.
constexpr char kHoldMilliseconds[] = "600000";
// How long a starting holder may take to report that it holds the file: a bound against a
// holder that hangs, not a measure of anything.
constexpr DWORD kHolderStartLimitMs = 60000;
} // namespace

void DeleteRegistryTree(const std::string& subKey) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                        &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteTreeA(key, nullptr);
    ::RegCloseKey(key);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), KEY_WOW64_32KEY, 0);
}

bool SetRegistryValue(const std::string& subKey, const std::string& name, DWORD type,
                      const std::string& data) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result =
        ::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

FileHolder::FileHolder(const std::string& path) {
    static int counter = 0;
    const std::string readyFile = testsupport::CurrentTestFolder("engine") + "-holder-" +
                                  std::to_string(++counter) + ".ready";
    product::MakeFolders(product::ParentFolder(readyFile));
    ::testing::AssertionResult started = testsupport::StartHelperProgram(
        m_holder, "HoldFile.exe", {path, kHoldMilliseconds}, readyFile, kHolderStartLimitMs);
    m_holding = started;
    if (!m_holding)
        m_error = started.message();
    ::DeleteFileA(readyFile.c_str());
}

} // namespace enginetest
