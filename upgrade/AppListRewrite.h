// Pure rewrite of the application-list file ("modlist.ini"): raises the entry count, rebuilds the
// list header in front of the list body and appends one list entry. No file or registry access.
#pragma once

#include <cstddef>
#include <string>

// Result of rewriting the application-list file's bytes.
struct AppListRewrite {
    enum class Status { Rewritten, TooShort, CountOverflow };
    Status status;
    std::string bytes; // the whole new file content when Rewritten (prefix included)
};

// Bytes before the list header that are carried over unchanged.
constexpr std::size_t kAppListPrefixLength = 16;
// How many bytes from the end of the prefix the entry count is parsed from.
constexpr std::size_t kAppListCountWindow = 256;

// The whole new content of the application-list file, given its whole old content, the entry
// name (the product name, or "" when it is unknown) and the entry text (the url value).
// A file shorter than the prefix, or an entry count whose next number does not fit a signed
// 32-bit integer, is not rewritten: the result then carries that status and no bytes.
AppListRewrite RewriteAppList(const std::string& oldBytes, const std::string& entryName,
                              const std::string& entryText);
