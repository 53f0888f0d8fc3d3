#include "engine_test_support.h"

#include "ProcessHelpers.h"
#include "helper_programs.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace enginetest {

namespace {

// The holder program keeps its file for this long unless it is ended first.
constexpr char kHoldMilliseconds[] = "600000";
// How long a starting holder may take to report that it holds the file: a bound against a
// holder that hangs, not a measure of anything.
constexpr DWORD kHolderStartLimitMs = 60000;

void ListInto(const std::string& root, const std::string& relative,
              std::vector<std::string>& entries) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((root + "\\" + relative + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entries.push_back(relative + name + "\\");
            ListInto(root, relative + name + "\\", entries);
        } else {
            entries.push_back(relative + name);
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
}

// After the last test: removes the tests' folders and the vendor key when they are empty, so
// that a run leaves the prefix as it found it. Anything another program keeps there stays.
class EmptyFoldersCleanup : public testing::Environment {
public:
    void TearDown() override {
        ::SetCurrentDirectoryA("C:\\");
        ::RemoveDirectoryA(kTestRoot);
        ::RemoveDirectoryA("C:\\QuilloTests");
        ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\Morvane", KEY_WOW64_32KEY, 0);
    }
};

testing::Environment* const kEmptyFoldersCleanup =
    testing::AddGlobalTestEnvironment(new EmptyFoldersCleanup);

} // namespace

std::string FreshFolder(const std::string& name) {
    MakeFolders(kTestRoot);
    ::SetCurrentDirectoryA(kTestRoot);
    const std::string folder = std::string(kTestRoot) + "\\" + name;
    DeleteTree(folder);
    MakeFolders(folder);
    return folder;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok =
        bytes.empty() ||
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
}

std::string ReadBytes(const std::string& path, bool* ok) {
    if (ok)
        *ok = false;
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    bool good = true;
    for (;;) {
        if (!::ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
            good = false;
            break;
        }
        if (read == 0)
            break;
        bytes.append(buffer, read);
    }
    ::CloseHandle(file);
    if (ok)
        *ok = good;
    return good ? bytes : std::string();
}

bool PathExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolders(const std::string& path) {
    if (IsFolder(path))
        return true;
    const std::string::size_type slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 2 && !MakeFolders(path.substr(0, slash)))
        return false;
    return ::CreateDirectoryA(path.c_str(), nullptr) || IsFolder(path);
}

bool DeleteTree(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ::DeleteFileA(path.c_str()) != FALSE;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name != "." && name != "..")
                DeleteTree(path + "\\" + name);
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    return ::RemoveDirectoryA(path.c_str()) != FALSE;
}

std::vector<std::string> ListTree(const std::string& root) {
    std::vector<std::string> entries;
    ListInto(root, "", entries);
    std::sort(entries.begin(), entries.end());
    return entries;
}

long long WriteTicks(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    ULARGE_INTEGER ticks;
    ticks.LowPart = data.ftLastWriteTime.dwLowDateTime;
    ticks.HighPart = data.ftLastWriteTime.dwHighDateTime;
    return static_cast<long long>(ticks.QuadPart);
}

bool SetWriteTicks(const std::string& path, long long ticks) {
    HANDLE file =
        ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ULARGE_INTEGER value;
    value.QuadPart = static_cast<unsigned long long>(ticks);
    FILETIME time;
    time.dwLowDateTime = value.LowPart;
    time.dwHighDateTime = value.HighPart;
    const BOOL ok = ::SetFileTime(file, nullptr, nullptr, &time);
    ::CloseHandle(file);
    return ok && WriteTicks(path) == ticks;
}

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

bool SetRegistryString(const std::string& subKey, const std::string& name,
                       const std::string& text) {
    return SetRegistryValue(subKey, name, REG_SZ, text + std::string(1, '\0'));
}

FileHolder::FileHolder(const std::string& path) {
    const std::string holder = product::SiblingProgram("HoldFile.exe");
    if (!PathExists(holder)) {
        // A second handle without sharing: opens by anyone else fail as they would against
        // another program's handle.
        m_file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        m_holding = m_file != INVALID_HANDLE_VALUE;
        if (!m_holding)
            m_error = "cannot open " + path + " (error " + std::to_string(::GetLastError()) + ")";
        return;
    }

    static int counter = 0;
    const std::string readyFile = std::string(kTestRoot) + "\\holder-" +
                                  std::to_string(::GetCurrentProcessId()) + "-" +
                                  std::to_string(++counter) + ".ready";
    ::testing::AssertionResult started = testsupport::StartHelperProgram(
        m_holder, "HoldFile.exe", {path, kHoldMilliseconds}, readyFile, kHolderStartLimitMs);
    m_holding = started;
    if (!m_holding)
        m_error = started.message();
    ::DeleteFileA(readyFile.c_str());
}

FileHolder::~FileHolder() {
    m_holder.Kill();
    if (m_file != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_file);
}

} // namespace enginetest
