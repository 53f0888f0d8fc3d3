// libFuzzer target for the application-list rewrite (old file bytes to new file bytes).
//
// Input: entry name, 0x01, entry text, 0x01, old file bytes. An input with fewer than two 0x01
// bytes is taken whole as the old file bytes, with an empty entry name and entry text.
//
// The rewrite runs as the program runs it, in one buffer of exactly the size it asks for: free
// bytes, the old file bytes, room for the entry. Every input must satisfy, besides running clean
// under AddressSanitizer (which also finds any write outside that buffer) and
// UndefinedBehaviorSanitizer:
// - TooShort exactly when the old file has fewer than 16 bytes;
// - CountOverflow exactly when the entry count, read here independently, lies outside the signed
//   32-bit range or equals its largest value;
// - Rewritten otherwise, and then the new file is, byte for byte: the old 16-byte prefix, the
//   entry number (count + 1) in decimal, "\r\n\r\n", 25 spaces, "\r\n\r\n", the old bytes from
//   the first "[LIST]" at or after offset 16 (or from offset 16 when there is none), "\r\n\r\n",
//   "name<N>=<entry name>\r\n" and "url<N>=<entry text>\r\n", and lies within the buffer;
// - the buffer left as it was, and no bytes, when not rewritten.
#include "upgrade/AppListRewrite.h"

#include <cerrno>
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

const std::size_t kPrefix = 16;
const std::size_t kWindow = 256;

// Stops the run with a message; libFuzzer records the input as a crash.
void Fail(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    __builtin_trap();
}

void Check(bool condition, const char* what) {
    if (!condition) {
        Fail(what);
    }
}

// White space that atoi skips in the C locale.
bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The entry count of the count window as atoi reads it, in 64-bit arithmetic. Once the magnitude
// passes ten digits it is out of the 32-bit range for either sign, so it stops growing there and
// the 64-bit value cannot overflow whatever the number of digits.
std::int64_t ReadCount(const std::string& window) {
    std::size_t i = 0;
    while (i < window.size() && IsCSpace(window[i])) {
        ++i;
    }
    std::int64_t sign = 1;
    if (i < window.size() && (window[i] == '+' || window[i] == '-')) {
        if (window[i] == '-') {
            sign = -1;
        }
        ++i;
    }
    std::int64_t magnitude = 0;
    while (i < window.size() && window[i] >= '0' && window[i] <= '9') {
        if (magnitude < 10000000000) {
            magnitude = magnitude * 10 + (window[i] - '0');
        }
        ++i;
    }
    return sign * magnitude;
}

// The same count through the C library (strtoll in the C locale, which a fuzzer never leaves),
// as a second opinion on ReadCount: the two must agree on the value, or both be out of range.
bool CountsAgree(const std::string& window, std::int64_t count) {
    const std::string text(window.c_str()); // strtoll stops at a zero byte, as the digits do
    errno = 0;
    const long long library = std::strtoll(text.c_str(), nullptr, 10);
    const bool libraryFits = errno != ERANGE && library >= INT32_MIN && library <= INT32_MAX;
    const bool ownFits = count >= INT32_MIN && count <= INT32_MAX;
    if (!libraryFits || !ownFits) {
        return libraryFits == ownFits;
    }
    return library == count;
}

// Offset of the first "[LIST]" that starts at or after offset 16, or 16 when there is none.
std::size_t BodyStart(const std::string& bytes) {
    const char marker[] = "[LIST]";
    const std::size_t length = sizeof marker - 1;
    for (std::size_t i = kPrefix; i + length <= bytes.size(); ++i) {
        if (std::memcmp(bytes.data() + i, marker, length) == 0) {
            return i;
        }
    }
    return kPrefix;
}

bool StartsWithAt(const std::string& text, std::size_t offset, const std::string& part) {
    return offset <= text.size() && text.size() - offset >= part.size() &&
           text.compare(offset, part.size(), part) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string entryName;
    std::string entryText;
    std::string old = input;
    const std::size_t first = input.find('\x01');
    const std::size_t second = first == std::string::npos ? first : input.find('\x01', first + 1);
    if (second != std::string::npos) {
        entryName = input.substr(0, first);
        entryText = input.substr(first + 1, second - first - 1);
        old = input.substr(second + 1);
    }

    // The free bytes hold a value that the expected content never takes from them.
    const std::string before =
        std::string(kAppListSlack, '\xA5') + old +
        std::string(AppListTailRoom(entryName.size(), entryText.size()), '\xA5');
    const std::unique_ptr<char[]> buffer(new char[before.size()]);
    std::memcpy(buffer.get(), before.data(), before.size());

    const AppListRewrite result = RewriteAppList(buffer.get(), old.size(), entryName, entryText);

    const bool unchanged = std::memcmp(buffer.get(), before.data(), before.size()) == 0;
    const bool noBytes = result.begin == 0 && result.end == 0;
    if (old.size() < kPrefix) {
        Check(result.status == AppListRewrite::Status::TooShort, "short file not TooShort");
        Check(noBytes, "bytes given for a short file");
        Check(unchanged, "buffer changed for a short file");
        return 0;
    }
    Check(result.status != AppListRewrite::Status::TooShort, "TooShort for 16 bytes or more");

    const std::string window = old.substr(kPrefix, kWindow);
    const std::int64_t count = ReadCount(window);
    Check(CountsAgree(window, count), "fuzzer's two count readings disagree");
    if (count < INT32_MIN || count >= INT32_MAX) {
        Check(result.status == AppListRewrite::Status::CountOverflow, "overflow not reported");
        Check(noBytes, "bytes given for an overflowing count");
        Check(unchanged, "buffer changed for an overflowing count");
        return 0;
    }
    Check(result.status == AppListRewrite::Status::Rewritten, "not rewritten");

    char digits[32];
    std::snprintf(digits, sizeof digits, "%" PRId64, count + 1);
    const std::string number = digits;
    const std::string separator = "\r\n\r\n";
    const std::string header = number + separator + std::string(25, ' ') + separator;
    const std::string body = old.substr(BodyStart(old));
    const std::string tail = separator + "name" + number + "=" + entryName + "\r\n" + "url" +
                             number + "=" + entryText + "\r\n";
    Check(result.begin <= result.end && result.end <= before.size(), "bytes outside the buffer");
    const std::string bytes(buffer.get() + result.begin, result.end - result.begin);

    Check(bytes.size() == kPrefix + header.size() + body.size() + tail.size(), "wrong length");
    Check(bytes.compare(0, kPrefix, old, 0, kPrefix) == 0, "prefix changed");
    Check(StartsWithAt(bytes, kPrefix, header), "header wrong");
    Check(StartsWithAt(bytes, kPrefix + header.size(), body), "body not carried over");
    Check(StartsWithAt(bytes, bytes.size() - tail.size(), tail), "new entry wrong");
    return 0;
}
