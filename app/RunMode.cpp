#include "app/RunMode.h"

namespace {
// Whether `text` is `lower` in any letter case, comparing ASCII letters only: the code page of
// the system plays no part.
bool EqualsIgnoringCase(const char* text, const char* lower) {
    for (; *text && *lower; ++text, ++lower) {
        char c = *text;
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != *lower)
            return false;
    }
    return *text == *lower;
}
} // namespace

RunMode RunModeOf(int argc, const char* const* argv) {
    if (argc != 2)
        return RunMode::Cleanup;
    return argv[1] && EqualsIgnoringCase(argv[1], "/quiet") ? RunMode::Unattended
                                                            : RunMode::Installer;
}
