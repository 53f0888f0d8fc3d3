#include "upgrade/AppListRewrite.h"

#include "upgrade/PathRules.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::string_view kSeparator = "\r\n\r\n";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kListMarker = "[LIST]";
constexpr std::size_t kFillerLength = 25;

// The entry count as atoi reads it, or whether it lies outside the signed 32-bit range.
struct ParsedCount {
    bool fits;
    std::int32_t value;
};

// White space as isspace classifies it in the C locale; independent of the current locale.
bool IsCSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Parses the count window the way atoi does: leading white space, one optional sign, then
// decimal digits up to the first other byte or the end of the window; no digits gives 0.
ParsedCount ParseCount(std::string_view window) {
    // Any magnitude above INT32_MAX + 1 is out of range for either sign, so capping it there
    // keeps the accumulation bounded however many digits follow.
    const std::int64_t cap = std::int64_t(INT32_MAX) + 2;
    std::size_t i = 0;
    const std::size_t end = window.size();
    while (i < end && IsCSpace(static_cast<unsigned char>(window[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < end && (window[i] == '+' || window[i] == '-')) {
        negative = window[i] == '-';
        ++i;
    }
    std::int64_t magnitude = 0;
    for (; i < end && window[i] >= '0' && window[i] <= '9'; ++i) {
        magnitude = std::min(magnitude * 10 + (window[i] - '0'), cap);
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) {
        return {false, 0};
    }
    return {true, static_cast<std::int32_t>(value)};
}

// Copies `text` to `out`; returns the end of the copy.
char* Put(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// Writes the entry's line "<key><number>=<value>\r\n" to `out`; returns the end of the line.
char* PutEntryLine(char* out, std::string_view key, std::string_view number,
                   std::string_view value) {
    out = Put(Put(out, key), number);
    *out++ = '=';
    return Put(Put(out, value), kLineEnd);
}

} // namespace

AppListRewrite RewriteAppList(char* buffer, std::size_t oldLength, std::string_view entryName,
                              std::string_view entryText) {
    const std::string_view old(buffer + kAppListSlack, oldLength);
    if (old.size() < kAppListPrefixLength) {
        return {AppListRewrite::Status::TooShort, 0, 0};
    }
    const ParsedCount count = ParseCount(
        std::string_view(old.data() + kAppListPrefixLength,
                         std::min(old.size() - kAppListPrefixLength, kAppListCountWindow)));
    if (!count.fits || count.value == INT32_MAX) {
        return {AppListRewrite::Status::CountOverflow, 0, 0};
    }
    const std::string number = DecimalText(count.value + 1);

    // Every byte after the prefix is list text, zero bytes included. The body starts at the
    // first marker; without one, the whole list text is kept as the body.
    std::size_t bodyStart = old.find(kListMarker, kAppListPrefixLength);
    if (bodyStart == std::string_view::npos) {
        bodyStart = kAppListPrefixLength;
    }

    // The new header ends where the body starts, and the prefix comes just before the header:
    // the body, nearly all of a large list, stays where it was read. The prefix is moved first,
    // since the new header may cover where it was.
    const std::size_t headerLength = number.size() + 2 * kSeparator.size() + kFillerLength;
    const std::size_t begin = kAppListSlack + bodyStart - headerLength - kAppListPrefixLength;
    std::memmove(buffer + begin, old.data(), kAppListPrefixLength);
    char* out = Put(buffer + begin + kAppListPrefixLength, number);
    out = Put(out, kSeparator);
    out = std::fill_n(out, kFillerLength, ' ');
    Put(out, kSeparator);

    out = Put(buffer + kAppListSlack + oldLength, kSeparator);
    out = PutEntryLine(out, "name", number, entryName);
    out = PutEntryLine(out, "url", number, entryText);
    return {AppListRewrite::Status::Rewritten, begin, static_cast<std::size_t>(out - buffer)};
}
