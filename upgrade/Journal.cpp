#include "upgrade/Journal.h"

namespace {
const char kHeader[] = "Quillo upgrade journal 1\r\n";
const char kEnd[] = "end\r\n";
const char kLineEnd[] = "\r\n";
const char* const kStateNames[] = {"preparing", "committing", "committed"};
const char kReplaces[] = "replace ";
const char kAdds[] = "add ";

// Takes the line at `pos` without its line end; false when there is no whole line.
bool TakeLine(const std::string& text, std::string::size_type& pos, std::string* line) {
    std::string::size_type end = text.find(kLineEnd, pos);
    if (end == std::string::npos)
        return false;
    *line = text.substr(pos, end - pos);
    pos = end + 2;
    return true;
}

bool StartsWith(const std::string& text, const char* prefix, std::string* rest) {
    std::string::size_type length = std::char_traits<char>::length(prefix);
    if (text.compare(0, length, prefix) != 0)
        return false;
    *rest = text.substr(length);
    return true;
}
} // namespace

std::string FormatJournal(const Journal& journal) {
    std::string text = kHeader;
    text += std::string("state ") + kStateNames[static_cast<int>(journal.state)] + kLineEnd;
    for (const JournalEntry& entry : journal.entries)
        text += (entry.adds ? kAdds : kReplaces) + entry.destination + kLineEnd;
    return text + kEnd;
}

bool ParseJournal(const std::string& text, Journal* journal) {
    if (text.compare(0, sizeof kHeader - 1, kHeader) != 0)
        return false;
    std::string::size_type pos = sizeof kHeader - 1;
    std::string line, rest;
    if (!TakeLine(text, pos, &line) || !StartsWith(line, "state ", &rest))
        return false;
    Journal parsed;
    int state = 0;
    while (state < 3 && rest != kStateNames[state])
        ++state;
    if (state == 3)
        return false;
    parsed.state = static_cast<JournalState>(state);
    while (TakeLine(text, pos, &line)) {
        if (line + kLineEnd == kEnd) {
            if (pos != text.size())
                return false;
            *journal = parsed;
            return true;
        }
        JournalEntry entry;
        entry.adds = StartsWith(line, kAdds, &entry.destination);
        if ((!entry.adds && !StartsWith(line, kReplaces, &entry.destination)) ||
            entry.destination.empty())
            return false;
        parsed.entries.push_back(entry);
    }
    return false;
}

unsigned RecoverySteps(JournalState state, bool adds, bool stagedExists, bool backupExists) {
    unsigned steps = 0;
    if (stagedExists)
        steps |= kDeleteStaged;
    // Before the renames, and for an entry whose rename had not happened yet, the destination is
    // still the old file: its backup is a spare copy. Once committed, the backup is not needed.
    if (state != JournalState::Committing || stagedExists)
        return backupExists ? steps | kDeleteBackup : steps;
    // The staged copy is gone, so it was renamed over the destination: put the old file back.
    if (adds)
        return steps | kDeleteDestination;
    return backupExists ? steps | kRestoreBackup : steps;
}
