// libFuzzer target for the path rules: the folder of a path, its length in characters, whether
// the 8-bit file functions take it, whether it is absolute, and the names kept beside a file.
//
// Input: one byte choosing the code page's lead bytes (0: single-byte; 1: Big5 and GBK, 0x81 to
// 0xFE; 2: Shift JIS, 0x81 to 0x9F and 0xE0 to 0xFC), then the path's bytes.
//
// Every input must satisfy, besides running clean under AddressSanitizer and
// UndefinedBehaviorSanitizer:
// - the folder is a prefix of the path, followed in the path by a separator that begins a
//   character (never a trail byte), and no separator beginning a character follows it;
// - with no such separator, the folder is empty;
// - the character count is at most the byte count, equal to it in a single-byte code page, and
//   at least half of it;
// - the path fits exactly when it is not empty, holds no zero byte and has at most the limit
//   of characters;
// - an absolute path begins with a drive letter, a colon and a separator, or two separators
//   and a third byte that is none;
// - the staged and backup names are the path with a suffix each, different from each other.
#include "upgrade/PathRules.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property violated: %s\n", what);
        __builtin_trap();
    }
}

bool Big5Lead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

bool ShiftJisLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const LeadBytePredicate predicates[] = {nullptr, Big5Lead, ShiftJisLead};
    const LeadBytePredicate lead = predicates[data[0] % 3];
    const std::string path(reinterpret_cast<const char*>(data + 1), size - 1);

    // Where characters begin, found independently: a lead byte takes the next byte with it.
    std::string starts(path.size(), 0);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < path.size(); ++i, ++characters) {
        starts[i] = 1;
        if (lead && lead(static_cast<unsigned char>(path[i])) && i + 1 < path.size())
            ++i;
    }
    std::size_t lastSeparator = std::string::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (starts[i] && IsSeparator(path[i]))
            lastSeparator = i;
    }

    const std::string folder = FolderOfPath(path, lead);
    if (lastSeparator == std::string::npos) {
        Check(folder.empty(), "a folder without a separator");
    } else {
        Check(folder.size() == lastSeparator, "the folder does not end at the last separator");
        Check(path.compare(0, folder.size(), folder) == 0, "the folder is not a prefix");
    }

    const std::size_t count = CharacterCount(path, lead);
    Check(count == characters, "the character count");
    Check(count <= path.size() && 2 * count >= path.size(), "the character count's bounds");
    Check(lead || count == path.size(), "a single-byte count differs from the bytes");
    const bool fits = PathFits(path, kLongestPath, lead);
    Check(fits == (!path.empty() && path.find('\0') == std::string::npos && count <= kLongestPath),
          "whether the path fits");

    if (IsAbsolutePath(path)) {
        const bool drive =
            path.size() >= 3 && path[1] == ':' && IsSeparator(path[2]) &&
            ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
        const bool unc = path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
                         !IsSeparator(path[2]);
        Check(drive || unc, "an absolute path of another form");
    }

    const std::string staged = StagedPathOf(path);
    const std::string backup = BackupPathOf(path);
    Check(staged.compare(0, path.size(), path) == 0 && staged.size() > path.size(),
          "the staged name does not extend the path");
    Check(backup.compare(0, path.size(), path) == 0 && backup.size() > path.size(),
          "the backup name does not extend the path");
    Check(staged != backup, "the staged and backup names are the same");
    return 0;
}
