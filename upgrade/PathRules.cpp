#include "upgrade/PathRules.h"

namespace {
const char kStagedSuffix[] = "~new";
const char kBackupSuffix[] = "~old";

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
} // namespace

unsigned long long DividedBy(unsigned long long value, unsigned divisor, unsigned* remainder) {
    unsigned long long quotient = 0;
    unsigned rest = 0;
    for (int shift = 48; shift >= 0; shift -= 16) {
        const unsigned part = (rest << 16) | static_cast<unsigned>((value >> shift) & 0xFFFF);
        quotient |= static_cast<unsigned long long>(part / divisor) << shift;
        rest = part % divisor;
    }
    *remainder = rest;
    return quotient;
}

std::string DecimalText(long long value) {
    unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    std::string digits;
    do {
        unsigned digit = 0;
        magnitude = DividedBy(magnitude, 10, &digit);
        digits.insert(digits.begin(), static_cast<char>('0' + digit));
    } while (magnitude != 0);
    return value < 0 ? "-" + digits : digits;
}

std::string FolderOfPath(const std::string& path, LeadBytePredicate isLeadByte) {
    std::string::size_type lastSeparator = std::string::npos;
    for (std::string::size_type i = 0; i < path.size(); ++i) {
        if (isLeadByte && isLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
            ++i; // the trail byte belongs to this character, whatever its value
            continue;
        }
        if (IsSeparator(path[i]))
            lastSeparator = i;
    }
    return lastSeparator == std::string::npos ? std::string() : path.substr(0, lastSeparator);
}

std::size_t CharacterCount(const std::string& path, LeadBytePredicate isLeadByte) {
    std::size_t count = 0;
    for (std::string::size_type i = 0; i < path.size(); ++i, ++count) {
        if (isLeadByte && isLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size())
            ++i;
    }
    return count;
}

bool PathFits(const std::string& path, std::size_t longest, LeadBytePredicate isLeadByte) {
    return !path.empty() && path.find('\0') == std::string::npos &&
           CharacterCount(path, isLeadByte) <= longest;
}

bool IsAbsolutePath(const std::string& path) {
    if (path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && IsSeparator(path[2]))
        return true;
    // "\\server\share": two separators, then a server name.
    return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
           !IsSeparator(path[2]);
}

std::string StagedPathOf(const std::string& destination) {
    return destination + kStagedSuffix;
}

std::string BackupPathOf(const std::string& destination) {
    return destination + kBackupSuffix;
}

std::string WaitingPathOf(const std::string& destination, int number) {
    std::string name = destination + "~del";
    if (number >= 10)
        name += static_cast<char>('0' + number / 10);
    return name + static_cast<char>('0' + number % 10);
}
