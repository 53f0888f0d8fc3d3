// Pure rewrite of the application-list file ("modlist.ini"): raises the entry count, rebuilds the
// list header in front of the list body and appends one list entry. The new content is made in
// the one buffer that holds the old content, so that a large list is held in memory only once
// and written from there. No file or registry access.
#pragma once

#include <cstddef>
#include <string_view>

// Bytes before the list header that are carried over unchanged.
constexpr std::size_t kAppListPrefixLength = 16;
// How many bytes from the end of the prefix the entry count is parsed from.
constexpr std::size_t kAppListCountWindow = 256;
// The longest entry number the rewrite writes: "-2147483647".
constexpr std::size_t kAppListLongestNumber = 11;
// Free bytes the buffer holds in front of the old content: room for a new header longer than the
// old one (the longest number, two "\r\n\r\n" separators and 25 spaces of filler), as when the
// old file has no header at all.
constexpr std::size_t kAppListSlack = kAppListLongestNumber + 4 + 25 + 4;

// Free bytes the buffer holds after the old content for the appended entry
// ("\r\n\r\nname<N>=<name>\r\nurl<N>=<text>\r\n"), given the lengths of its name and text.
constexpr std::size_t AppListTailRoom(std::size_t nameLength, std::size_t textLength) {
    return 4 + 4 + kAppListLongestNumber + 1 + nameLength + 2 + 3 + kAppListLongestNumber + 1 +
           textLength + 2;
}

// Result of rewriting the application-list file's bytes.
struct AppListRewrite {
    enum class Status { Rewritten, TooShort, CountOverflow };
    Status status;
    // The whole new content (prefix included) is buffer[begin, end) when Rewritten; both are 0
    // otherwise.
    std::size_t begin;
    std::size_t end;
};

// Rewrites the application-list file in `buffer`, which holds kAppListSlack bytes of any value,
// then the whole old content (`oldLength` bytes), then at least
// AppListTailRoom(entryName.size(), entryText.size()) bytes of any value. The entry's name is the
// product name, or "" when it is unknown; its text is the url value. The new header is written
// just in front of the carried-over list body, the prefix just in front of it, and the entry
// after the old content. A file shorter than the prefix, or an entry count whose next number does
// not fit a signed 32-bit integer, is not rewritten: the result then carries that status and the
// buffer is left as it was.
[[nodiscard]] AppListRewrite RewriteAppList(char* buffer, std::size_t oldLength,
                                            std::string_view entryName, std::string_view entryText);
