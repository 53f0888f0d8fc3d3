// The journal of an upgrade in progress: which installed files it changes, and how far it has
// got. It lies in the install base while the upgrade runs, so that a run cut short (the process
// killed, the machine losing power) is rolled back or finished by the next start. Pure: the
// journal's text and the recovery decisions, no file access.
#pragma once

#include <string>
#include <vector>

// How far an upgrade has got: the journal's name says it (JournalNameOf), so that each step to the
// next is one rename. Every changed file has a staged copy of its new content beside it
// (StagedPathOf), and every replaced file a backup of its old content (BackupPathOf) from just
// before its staged copy is renamed over it.
enum class JournalState {
    Preparing,  // staged copies are being made; no installed file has changed
    Committing, // staged copies are being renamed into place, one rename each
    Committed,  // every staged copy is in place; the backups are no longer needed
};

// One changed file: the payload row (0 to 8) or the list file (kListItem), below the install
// base where the journal lies.
struct JournalEntry {
    int item = 0;
    bool adds = false; // the file was missing before: no backup, a roll-back deletes it
};

// The item number of the application-list file.
constexpr int kListItem = 9;

struct Journal {
    JournalState state = JournalState::Preparing;
    std::vector<JournalEntry> entries;
};

// The name of the journal in the install base in each state.
const char* JournalNameOf(JournalState state);

// The journal's entries as text, and back. Parsing fails on anything but a whole journal.
std::string FormatJournal(const Journal& journal);
bool ParseJournal(const std::string& text, Journal* journal);

// What recovery does to one entry's files, as flags.
enum RecoveryStep : unsigned {
    kDeleteStaged = 1,      // delete the staged copy
    kDeleteBackup = 2,      // delete the backup
    kRestoreBackup = 4,     // rename the backup over the destination
    kDeleteDestination = 8, // delete the added destination
};

// The steps that undo (Preparing, Committing) or finish (Committed) one entry, given which of its
// files exist now. Each step may run again after a crash during recovery itself: what it leaves
// leads to the same end.
unsigned RecoverySteps(JournalState state, bool adds, bool stagedExists, bool backupExists);
