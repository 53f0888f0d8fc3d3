#include "test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "Staging.h"

namespace testsupport {

namespace {

constexpr char kTestsRoot[] = "C:\\QuilloTests";

void AddToSnapshot(const std::string& folder, const std::string& relative, TreeSnapshot& tree) {
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = folder + "\\" + name;
        std::string key = relative + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[key + "\\"] = FileRecord();
            AddToSnapshot(path, key, tree);
        } else {
            tree[key] = FileRecord{product::ReadFileBytes(path), product::FileTicks(path)};
        }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
}

} // namespace

std::string CurrentTestFolder(const std::string& group) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "none";
    for (char& c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '_' || c == '-';
        if (!plain)
            c = '_';
    }
    return std::string(kTestsRoot) + "\\" + group + "\\" + name;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

TreeSnapshot SnapshotTree(const std::string& folder) {
    TreeSnapshot tree;
    AddToSnapshot(folder, "", tree);
    return tree;
}

::testing::AssertionResult SameTree(const TreeSnapshot& before, const TreeSnapshot& after) {
    std::ostringstream differences;
    for (const auto& [path, record] : before) {
        auto found = after.find(path);
        if (found == after.end())
            differences << "\n  gone: " << path;
        else if (found->second.bytes != record.bytes)
            differences << "\n  changed: " << path << " now holds \""
                        << product::Printable(found->second.bytes) << "\"";
        else if (found->second.ticks != record.ticks)
            differences << "\n  touched: " << path << " (last-write time changed)";
    }
    for (const auto& [path, record] : after) {
        if (before.find(path) == before.end())
            differences << "\n  added: " << path;
    }
    if (differences.str().empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the tree differs:" << differences.str();
}

std::string ListPrefix() {
    std::string prefix;
    for (int i = 0; i < 16; ++i)
        prefix.push_back(static_cast<char>(i));
    return prefix;
}

std::string ListHeader(const std::string& count) {
    return count + "\r\n\r\n" + std::string(25, ' ') + "\r\n\r\n";
}

std::string AppendedEntry(const std::string& number, const std::string& name) {
    return "\r\n\r\nname" + number + "=" + name + "\r\nurl" + number + "=" + kEntryText + "\r\n";
}

} // namespace testsupport
