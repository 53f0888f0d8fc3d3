#include "run/CleanupCommandLine.h"

namespace {

// One argument after the program name, quoted so that the split gives it back unchanged:
// backslashes before a quote (embedded or the closing one) are doubled, embedded quotes escaped.
std::string QuoteArgument(const std::string& text) {
    std::string quoted = "\"";
    std::string::size_type backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

// `value` in signed decimal. (std::to_string would bring the run-time's whole number formatter.)
std::string Decimal(long value) {
    unsigned long magnitude =
        value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    return value < 0 ? "-" + digits : digits;
}
} // namespace

std::string BuildCleanupCommandLine(const std::string& tempCopyPath, long handleValue,
                                    const std::string& modulePath) {
    if (tempCopyPath.find('"') != std::string::npos) {
        return std::string();
    }
    return "\"" + tempCopyPath + "\" " + Decimal(handleValue) + " " + QuoteArgument(modulePath);
}
