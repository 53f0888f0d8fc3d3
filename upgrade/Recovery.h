// What the next start of Setup does with what an upgrade cut short left on the disk, and the
// renames that put an upgrade in place. Pure: decisions over what the disk holds, as a list of
// steps that a thin layer carries out; no file access.
//
// A file's own name tells what it is: a staged copy ("<file>~new") is never installed content and
// is always deleted; a backup ("<file>~old") is the old content of its destination and is put back
// unless the upgrade is known to be complete. The journal adds what the files cannot tell: which
// destinations the upgrade added (deleted again by a roll-back; without the journal an added file
// is left), and what the upgrade put in place, so that it counts as complete only while the
// destinations are still those files, and so that a file another program has put in place since
// is told from the upgrade's and stays (only its backup goes). Every plan can be cut short at any
// step and planned again from what it left: it leads to the same end.
#pragma once

#include "upgrade/Journal.h"

#include <vector>

// Which of an item's files a step acts on.
enum class Place { Staged, Backup, Destination };

struct PlanStep {
    enum class Kind {
        Rename,              // item's `from` to `to`; fails when `to` exists
        Delete,              // item's `from`, read-only or not
        DeleteJournal,       // the journal in state `journal`
        DeleteStagedJournal, // the journal's staged copy
        CommitJournal,       // rename the journal from Committing to Committed
    };
    Kind kind;
    int item = 0;
    Place from = Place::Staged;
    Place to = Place::Staged;
    JournalState journal = JournalState::Committing;
};

// What the disk holds of one file.
struct FileFacts {
    bool exists = false;
    unsigned long long size = 0;
    long long lastWrite = 0;
};

// What the disk holds of one item: its staged copy, its backup, the installed file.
struct ItemFacts {
    bool staged = false;
    bool backup = false;
    FileFacts destination;
};

// A journal as found under one of its names.
struct JournalFacts {
    enum class Kind { Absent, Unreadable, Read } kind = Kind::Absent;
    Journal journal; // when Read
};

struct DiskFacts {
    ItemFacts items[kItemCount];
    JournalFacts journals[2]; // under the Committing and the Committed name
    bool stagedJournal = false;
};

struct RecoveryPlan {
    enum class Outcome {
        None,       // nothing of an upgrade was found
        RolledBack, // every installed file goes back to what it was before the upgrade
        Completed,  // the upgrade was complete and still is: only its backups are deleted
    };
    Outcome outcome = Outcome::None;
    std::vector<PlanStep> steps;
};

// What a plan deletes of a complete upgrade: its backups, and once the run that completed it has
// ended its journal too (until then it stays, so that a crash before the end still finds the
// upgrade complete).
enum class Finishing { Backups, BackupsAndJournal };

// The steps that roll back or finish whatever an upgrade left.
[[nodiscard]] RecoveryPlan PlanRecovery(const DiskFacts& disk, Finishing what);

// The renames that put the journal's staged copies in place: each replaced destination to its
// backup, then its staged copy to the destination; the journal then to Committed; the backups
// deleted last.
std::vector<PlanStep> PlanCommit(const Journal& journal);
