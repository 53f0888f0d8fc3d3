// The journal of an upgrade being put in place: which installed files it changes, what each new
// file is, and how far the upgrade has got. It lies in the install base from the moment the first
// installed file may change until the run has ended, so that the next start of Setup knows what
// the files beside the installed ones cannot tell. Pure: the journal's text, no file access.
#pragma once

#include "upgrade/PayloadRules.h"

#include <string>
#include <vector>

// How far an upgrade has got: the journal's name says it (JournalNameOf), so that the step to the
// next state is one rename.
enum class JournalState {
    Committing, // the staged copies are being renamed into place
    Committed,  // every staged copy is in place; the backups are no longer needed
};

// One changed file: the payload row (0 to 8) or the list file (kListItem), below the install base
// where the journal lies, and the new file the upgrade puts there.
struct JournalEntry {
    int item = 0;
    bool adds = false; // the file was missing before: no backup, a roll-back deletes it
    unsigned long long size = 0;
    long long lastWrite = 0; // the new file's last-write time, in 100-nanosecond ticks
};

// The journal's text: its state is its name, not part of it.
struct Journal {
    std::vector<JournalEntry> entries;
};

// The name of the journal in the install base in each state.
const char* JournalNameOf(JournalState state);

// The journal's entries as text, and back. Parsing fails on anything but a whole journal.
std::string FormatJournal(const Journal& journal);
[[nodiscard]] bool ParseJournal(const std::string& text, Journal* journal);
