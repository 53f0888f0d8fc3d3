#include "upgrade/Recovery.h"

namespace {
using Kind = PlanStep::Kind;

const JournalFacts& JournalIn(const DiskFacts& disk, JournalState state) {
    return disk.journals[static_cast<int>(state)];
}

PlanStep Rename(int item, Place from, Place to) {
    return {Kind::Rename, item, from, to};
}
PlanStep Delete(int item, Place what) {
    return {Kind::Delete, item, what};
}
PlanStep DeleteJournal(JournalState state) {
    PlanStep step{Kind::DeleteJournal};
    step.journal = state;
    return step;
}

bool IsThatFile(const FileFacts& file, const JournalEntry& entry) {
    return file.exists && file.size == entry.size && file.lastWrite == entry.lastWrite;
}

// Whether the committed journal's upgrade is complete now: every new file it put in place is
// still there, with no staged copy waiting beside it. An upgrade that changed nothing leaves no
// journal, so one without entries is not taken for complete.
bool StillComplete(const DiskFacts& disk, const Journal& journal) {
    if (journal.entries.empty())
        return false;
    for (const JournalEntry& entry : journal.entries) {
        const ItemFacts& item = disk.items[entry.item];
        if (item.staged || !IsThatFile(item.destination, entry))
            return false;
    }
    return true;
}

// What the committing journal says of `item`, or nullptr.
const JournalEntry* EntryOf(const Journal* journal, int item) {
    if (!journal)
        return nullptr;
    for (const JournalEntry& entry : journal->entries)
        if (entry.item == item)
            return &entry;
    return nullptr;
}

// Whether the installed file of an item is another program's, put there since the upgrade (the
// product's own updater, say): neither absent nor the new file that `recorded`, either journal's
// entry for it, says the upgrade put in place.
bool ReplacedSince(const ItemFacts& facts, const JournalEntry* recorded) {
    return recorded && facts.destination.exists && !IsThatFile(facts.destination, *recorded);
}

// Puts one item back as it was before the upgrade. Each step leaves files that plan the rest.
void RollBackItem(int item, const ItemFacts& facts, const JournalEntry* entry,
                  std::vector<PlanStep>& steps) {
    if (facts.backup) {
        if (facts.destination.exists) {
            // The file in place becomes a staged copy, the backup goes back, and the staged copy
            // is deleted. (A rename works on a file in use, a running program's or a read-only
            // one, where deleting it would not.)
            if (facts.staged)
                steps.push_back(Delete(item, Place::Staged));
            steps.push_back(Rename(item, Place::Destination, Place::Staged));
            steps.push_back(Rename(item, Place::Backup, Place::Destination));
            steps.push_back(Delete(item, Place::Staged));
        } else {
            steps.push_back(Rename(item, Place::Backup, Place::Destination));
            if (facts.staged)
                steps.push_back(Delete(item, Place::Staged));
        }
        return;
    }
    if (facts.staged)
        steps.push_back(Delete(item, Place::Staged));
    // A file the upgrade added, known by the journal.
    if (entry && entry->adds && IsThatFile(facts.destination, *entry))
        steps.push_back(Delete(item, Place::Destination));
}
} // namespace

RecoveryPlan PlanRecovery(const DiskFacts& disk, Finishing what) {
    RecoveryPlan plan;
    std::vector<PlanStep>& steps = plan.steps;
    const JournalFacts& committing = JournalIn(disk, JournalState::Committing);
    const JournalFacts& committed = JournalIn(disk, JournalState::Committed);

    // The later state decides, as long as it holds: a complete upgrade keeps only its backups to
    // delete. Anything else is rolled back: a committed journal that no longer holds, or cannot be
    // read, is discarded before any file is put back, so that no step of the roll-back can make
    // it seem to hold again.
    const bool complete =
        committed.kind == JournalFacts::Kind::Read && StillComplete(disk, committed.journal);
    if (complete) {
        for (int item = 0; item < kItemCount; ++item) {
            if (disk.items[item].staged)
                steps.push_back(Delete(item, Place::Staged));
            if (disk.items[item].backup)
                steps.push_back(Delete(item, Place::Backup));
        }
    } else {
        const Journal* journal =
            committing.kind == JournalFacts::Kind::Read ? &committing.journal : nullptr;
        // Which new file the upgrade put in place the committed journal tells as well; which files
        // it added only the committing one does, since a complete upgrade's added file stays.
        const Journal* recorded = journal                                      ? journal
                                  : committed.kind == JournalFacts::Kind::Read ? &committed.journal
                                                                               : nullptr;
        // Another program's file stays; only what the upgrade left beside it goes. First, while
        // the journal that tells it is still there.
        for (int item = 0; item < kItemCount; ++item) {
            const ItemFacts& facts = disk.items[item];
            if (!ReplacedSince(facts, EntryOf(recorded, item)))
                continue;
            if (facts.staged)
                steps.push_back(Delete(item, Place::Staged));
            if (facts.backup)
                steps.push_back(Delete(item, Place::Backup));
        }
        if (committed.kind != JournalFacts::Kind::Absent)
            steps.push_back(DeleteJournal(JournalState::Committed));
        for (int item = 0; item < kItemCount; ++item)
            if (!ReplacedSince(disk.items[item], EntryOf(recorded, item)))
                RollBackItem(item, disk.items[item], EntryOf(journal, item), steps);
    }
    if (committing.kind != JournalFacts::Kind::Absent)
        steps.push_back(DeleteJournal(JournalState::Committing));
    if (disk.stagedJournal)
        steps.push_back({Kind::DeleteStagedJournal});
    if (complete && what == Finishing::BackupsAndJournal)
        steps.push_back(DeleteJournal(JournalState::Committed));
    plan.outcome = complete        ? RecoveryPlan::Outcome::Completed
                   : steps.empty() ? RecoveryPlan::Outcome::None
                                   : RecoveryPlan::Outcome::RolledBack;
    return plan;
}

std::vector<PlanStep> PlanCommit(const Journal& journal) {
    std::vector<PlanStep> steps;
    for (const JournalEntry& entry : journal.entries) {
        if (!entry.adds)
            steps.push_back(Rename(entry.item, Place::Destination, Place::Backup));
        steps.push_back(Rename(entry.item, Place::Staged, Place::Destination));
    }
    steps.push_back({Kind::CommitJournal});
    for (const JournalEntry& entry : journal.entries)
        if (!entry.adds)
            steps.push_back(Delete(entry.item, Place::Backup));
    return steps;
}
