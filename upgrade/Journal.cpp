#include "upgrade/Journal.h"

namespace {
// A header with the format's version, then one line per entry: "r" or "a" (replaces or adds)
// and the item's digit, then an end mark that a torn write lacks.
const char kHeader[] = "Quillo upgrade journal 3\r\n";
const char kEnd[] = "end\r\n";
constexpr std::string::size_type kHeaderLength = sizeof kHeader - 1;
constexpr std::string::size_type kEndLength = sizeof kEnd - 1;
const char* const kNames[] = {"\\QuilloSetup.journal", "\\QuilloSetup.committing",
                              "\\QuilloSetup.committed"};
} // namespace

const char* JournalNameOf(JournalState state) {
    return kNames[static_cast<int>(state)];
}

std::string FormatJournal(const Journal& journal) {
    std::string text = kHeader;
    for (const JournalEntry& entry : journal.entries) {
        text += entry.adds ? 'a' : 'r';
        text += static_cast<char>('0' + entry.item);
        text += "\r\n";
    }
    return text + kEnd;
}

bool ParseJournal(const std::string& text, Journal* journal) {
    // Header, entry lines of four bytes each, end mark.
    std::string::size_type size = text.size();
    if (size < kHeaderLength + kEndLength || text.compare(0, kHeaderLength, kHeader) != 0 ||
        text.compare(size - kEndLength, kEndLength, kEnd) != 0 ||
        (size - kHeaderLength - kEndLength) % 4 != 0)
        return false;
    std::vector<JournalEntry> entries;
    const char* end = text.c_str() + size - kEndLength;
    for (const char* p = text.c_str() + kHeaderLength; p < end; p += 4) {
        JournalEntry entry;
        entry.adds = p[0] == 'a';
        entry.item = p[1] - '0';
        if ((!entry.adds && p[0] != 'r') || entry.item < 0 || entry.item > kListItem ||
            p[2] != '\r' || p[3] != '\n')
            return false;
        entries.push_back(entry);
    }
    journal->entries.swap(entries);
    return true;
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
