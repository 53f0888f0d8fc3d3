#include "run/CleanupCommandLine.h"

#include "upgrade/PathRules.h"

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

} // namespace

std::string BuildCleanupCommandLine(const std::string& tempCopyPath, long handleValue,
                                    const std::string& modulePath) {
    if (tempCopyPath.find('"') != std::string::npos) {
        return std::string();
    }
    return "\"" + tempCopyPath + "\" " + DecimalText(handleValue) + " " + QuoteArgument(modulePath);
}
