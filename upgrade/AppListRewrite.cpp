#include "upgrade/AppListRewrite.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

const char kSeparator[] = "\r\n\r\n";
const char kLineEnd[] = "\r\n";
const char kListMarker[] = "[LIST]";
const std::size_t kFillerLength = 25;

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
ParsedCount ParseCount(const std::string& bytes, std::size_t begin, std::size_t end) {
    // Any magnitude above INT32_MAX + 1 is out of range for either sign, so capping it there
    // keeps the accumulation bounded however many digits follow.
    const std::int64_t cap = std::int64_t(INT32_MAX) + 2;
    std::size_t i = begin;
    while (i < end && IsCSpace(static_cast<unsigned char>(bytes[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < end && (bytes[i] == '+' || bytes[i] == '-')) {
        negative = bytes[i] == '-';
        ++i;
    }
    std::int64_t magnitude = 0;
    for (; i < end && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
        magnitude = std::min(magnitude * 10 + (bytes[i] - '0'), cap);
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) {
        return {false, 0};
    }
    return {true, static_cast<std::int32_t>(value)};
}

} // namespace

AppListRewrite RewriteAppList(const std::string& oldBytes, const std::string& entryName,
                              const std::string& entryText) {
    if (oldBytes.size() < kAppListPrefixLength) {
        return {AppListRewrite::Status::TooShort, std::string()};
    }
    const std::size_t windowEnd =
        std::min(oldBytes.size(), kAppListPrefixLength + kAppListCountWindow);
    const ParsedCount count = ParseCount(oldBytes, kAppListPrefixLength, windowEnd);
    if (!count.fits || count.value == INT32_MAX) {
        return {AppListRewrite::Status::CountOverflow, std::string()};
    }
    const std::string number = std::to_string(count.value + 1);

    // Every byte after the prefix is list text, zero bytes included. The body starts at the
    // first marker; without one, the whole list text is kept as the body.
    std::size_t bodyStart = oldBytes.find(kListMarker, kAppListPrefixLength);
    if (bodyStart == std::string::npos) {
        bodyStart = kAppListPrefixLength;
    }

    // The whole new content is reserved at once: a list file can be large, and
    // growing the string step by step would hold a third copy of it for a while.
    const std::string tail = std::string(kSeparator) + "name" + number + "=" + entryName +
                             kLineEnd + "url" + number + "=" + entryText + kLineEnd;
    std::string bytes;
    bytes.reserve(kAppListPrefixLength + number.size() + 8 + kFillerLength +
                  (oldBytes.size() - bodyStart) + tail.size());
    bytes.append(oldBytes, 0, kAppListPrefixLength);
    bytes += number;
    bytes += kSeparator;
    bytes.append(kFillerLength, ' ');
    bytes += kSeparator;
    bytes.append(oldBytes, bodyStart, std::string::npos);
    bytes += tail;
    return {AppListRewrite::Status::Rewritten, std::move(bytes)};
}
