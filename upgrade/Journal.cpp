#include "upgrade/Journal.h"

namespace {
// A header with the format's version, then one line per entry: "r" or "a" (replaces or adds), the
// item's digit, the new file's size and last-write time in decimal; then an end mark that a torn
// write lacks.
const char kHeader[] = "Quillo upgrade journal 4\r\n";
const char kEnd[] = "end\r\n";
constexpr std::string::size_type kHeaderLength = sizeof kHeader - 1;
constexpr std::string::size_type kEndLength = sizeof kEnd - 1;
const char* const kNames[] = {"\\QuilloSetup.committing", "\\QuilloSetup.committed"};

// Reads a decimal number of at most 19 digits at `p`, up to `stop`; the position after it, or
// nullptr.
const char* ReadNumber(const char* p, const char* end, char stop, unsigned long long* value) {
    const char* first = p;
    *value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        *value = *value * 10 + static_cast<unsigned>(*p - '0');
    if (p == first || p - first > 19 || p >= end || *p != stop)
        return nullptr;
    return p + 1;
}

} // namespace

const char* JournalNameOf(JournalState state) {
    return kNames[static_cast<int>(state)];
}

std::string FormatJournal(const Journal& journal) {
    std::string text = kHeader;
    for (const JournalEntry& entry : journal.entries) {
        text += entry.adds ? 'a' : 'r';
        text += static_cast<char>('0' + entry.item);
        text += ' ';
        text += DecimalText(static_cast<long long>(entry.size));
        text += ' ';
        text += DecimalText(entry.lastWrite);
        text += "\r\n";
    }
    return text + kEnd;
}

bool ParseJournal(const std::string& text, Journal* journal) {
    std::string::size_type size = text.size();
    if (size < kHeaderLength + kEndLength || text.compare(0, kHeaderLength, kHeader) != 0 ||
        text.compare(size - kEndLength, kEndLength, kEnd) != 0)
        return false;
    std::vector<JournalEntry> entries;
    const char* end = text.data() + size - kEndLength;
    for (const char* p = text.data() + kHeaderLength; p < end;) {
        JournalEntry entry;
        if (end - p < 3 || (p[0] != 'a' && p[0] != 'r') || p[1] < '0' || p[1] > '0' + kListItem ||
            p[2] != ' ')
            return false;
        entry.adds = p[0] == 'a';
        entry.item = p[1] - '0';
        unsigned long long lastWrite = 0;
        p = ReadNumber(p + 3, end, ' ', &entry.size);
        if (p)
            p = ReadNumber(p, end, '\r', &lastWrite);
        if (!p || p >= end || *p != '\n' || lastWrite > 0x7FFFFFFFFFFFFFFFull)
            return false;
        ++p;
        entry.lastWrite = static_cast<long long>(lastWrite);
        entries.push_back(entry);
    }
    journal->entries.swap(entries);
    return true;
}
