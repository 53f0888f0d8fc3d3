// Files and folders of a test: the folder named after the running test, and what a folder holds.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// The running test's own folder, C:\QuilloTests\<group>\<suite>.<test> (characters other than
// letters, digits, ".", "_" and "-" replaced by "_").
std::string CurrentTestFolder(const std::string& group);

// The names of the entries of a folder (not "." and ".."), sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

} // namespace testsupport
