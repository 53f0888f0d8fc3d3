#include "upgrade/Transaction.h"

#include "upgrade/FileOps.h"

namespace {
// The journal's size is a few lines per item.
constexpr size_t kLongestJournal = 4096;

// Whether something is at `path`; a failure when the system cannot tell.
Result Probe(const CString& path, FileProbe* probe) {
    *probe = ProbeFile(path);
    return probe->kind == FileProbe::Kind::Unreadable ? Failed(path, probe->error) : Result();
}

Result GatherJournal(const CString& path, JournalFacts* facts) {
    FileProbe probe;
    if (Result probed = Probe(path, &probe); !probed || probe.kind == FileProbe::Kind::Absent)
        return probed;
    std::string text;
    // A journal too long to be one of ours is unreadable, not an error.
    if (probe.kind == FileProbe::Kind::File && probe.size <= kLongestJournal)
        if (Result read = ReadWholeFile(path, kLongestJournal, &text); !read)
            return read;
    facts->kind = ParseJournal(text, &facts->journal) ? JournalFacts::Kind::Read
                                                      : JournalFacts::Kind::Unreadable;
    return {};
}

// What the disk holds of every item and of the journal; nothing where there is no install base.
Result GatherFacts(const ProductTree& tree, DiskFacts* disk) {
    if (!tree.Exists())
        return {};
    for (int item = 0; item < kItemCount; ++item) {
        FileProbe probes[3];
        const Place places[3] = {Place::Staged, Place::Backup, Place::Destination};
        for (int i = 0; i < 3; ++i)
            if (Result probed = Probe(tree.Path(item, places[i]), &probes[i]); !probed)
                return probed;
        const FileProbe &staged = probes[0], &backup = probes[1], &installed = probes[2];
        ItemFacts& facts = disk->items[item];
        facts.staged = staged.kind != FileProbe::Kind::Absent;
        facts.backup = backup.kind != FileProbe::Kind::Absent;
        facts.destination.exists = installed.kind != FileProbe::Kind::Absent;
        facts.destination.size = installed.size;
        facts.destination.lastWrite = installed.lastWrite;
    }
    for (JournalState state : {JournalState::Committing, JournalState::Committed})
        if (Result read =
                GatherJournal(tree.JournalPath(state), &disk->journals[static_cast<int>(state)]);
            !read)
            return read;
    FileProbe stagedJournal;
    Result probed = Probe(tree.StagedJournalPath(), &stagedJournal);
    disk->stagedJournal = stagedJournal.kind != FileProbe::Kind::Absent;
    return probed;
}

// The file that `step` renames or deletes.
const CString& ActedOn(const PlanStep& step, const ProductTree& tree) {
    switch (step.kind) {
    case PlanStep::Kind::DeleteJournal:
        return tree.JournalPath(step.journal);
    case PlanStep::Kind::DeleteStagedJournal:
        return tree.StagedJournalPath();
    case PlanStep::Kind::CommitJournal:
        return tree.JournalPath(JournalState::Committing);
    default:
        return tree.Path(step.item, step.from);
    }
}

// Carries out one step on its file, held as `held` (which still holds a renamed file, or one that
// could not be deleted, and is closed after a deletion, so that a deleted file's name goes at
// once), or by its name when `held` is empty: a file the plan itself made (a staged copy renamed
// into place, a backup) or that was not there when the plan began.
Result Execute(const PlanStep& step, const ProductTree& tree, FileHandle& held) {
    const CString& from = ActedOn(step, tree);
    const CString* to = step.kind == PlanStep::Kind::Rename ? &tree.Path(step.item, step.to)
                        : step.kind == PlanStep::Kind::CommitJournal
                            ? &tree.JournalPath(JournalState::Committed)
                            : nullptr;
    if (!held)
        return to ? RenameFile(from, *to) : RemoveFile(from);
    if (to)
        return RenameHeld(held, *to);
    Result done = DeleteHeld(held, from);
    if (done)
        held.Reset();
    return done;
}

// Moves the old file of `item`, still in use (held as `backup`, unless empty), to the first free
// name it may wait under, and has Windows delete it at the next restart.
Result WaitForRestart(const ProductTree& tree, int item, const FileHandle& backup,
                      std::vector<CString>* waiting) {
    for (int number = 1; number <= kWaitingNames; ++number) {
        const CString name = tree.WaitingPath(item, number);
        FileProbe probe;
        if (Result probed = Probe(name, &probe); !probed || probe.kind != FileProbe::Kind::Absent)
            continue;
        Result done =
            backup ? RenameHeld(backup, name) : RenameFile(tree.Path(item, Place::Backup), name);
        if (done)
            done = DeleteAtRestart(name);
        if (done)
            waiting->push_back(name);
        return done;
    }
    return Failed(tree.Path(item, Place::Backup), ERROR_FILE_EXISTS);
}

// Carries out `steps`. Every file the plan acts on is opened for that first and held until its
// step: one that is not a plain file of that very name (a folder, a link), or that another
// program holds (a virus scanner reading a backup, say), stops the plan before anything has
// changed, naming it. An old file that cannot be deleted because it is still in use (a running
// program's) waits for the next restart.
Result ExecuteAll(const std::vector<PlanStep>& steps, const ProductTree& tree,
                  std::vector<CString>* waiting) {
    std::vector<FileHandle> held(steps.size());
    for (size_t i = 0; i < steps.size(); ++i)
        if (Result opened = OpenToRemove(ActedOn(steps[i], tree), &held[i]); !opened)
            return opened;
    for (size_t i = 0; i < steps.size(); ++i) {
        const PlanStep& step = steps[i];
        // An old file in use keeps its handle, to be moved aside through it.
        FileHandle file = std::move(held[i]);
        const bool oldFile = step.kind == PlanStep::Kind::Delete && step.from == Place::Backup;
        Result done = Execute(step, tree, file);
        if (!done && oldFile &&
            (done.code == ERROR_ACCESS_DENIED || done.code == ERROR_SHARING_VIOLATION))
            done = WaitForRestart(tree, step.item, file, waiting);
        if (!done)
            return done;
    }
    return {};
}

// What an upgrade left in `tree`, and the plan that settles it.
Result Plan(const ProductTree& tree, Finishing what, RecoveryPlan* plan) {
    DiskFacts disk;
    Result gathered = GatherFacts(tree, &disk);
    if (gathered)
        *plan = PlanRecovery(disk, what);
    return gathered;
}
} // namespace

Result UpgradeTransaction::RollBack() {
    if (!m_begun || m_committed)
        return {};
    for (FileHandle& held : m_held)
        held.Reset();
    m_journalFile.Reset();
    for (NewFile& staged : m_staged)
        (void)staged.Wait();
    m_begun = false;
    RecoveryPlan::Outcome found;
    std::vector<CString> waiting; // nothing of a roll-back is in use: nothing waits
    return Recover(m_tree, &found, &waiting);
}

Result UpgradeTransaction::Begin(const std::vector<JournalEntry>& entries) {
    std::vector<CString> names = {m_tree.JournalPath(JournalState::Committing),
                                  m_tree.JournalPath(JournalState::Committed),
                                  m_tree.StagedJournalPath()};
    for (const JournalEntry& entry : entries) {
        names.push_back(m_tree.Path(entry.item, Place::Staged));
        names.push_back(m_tree.Path(entry.item, Place::Backup));
    }
    for (const CString& name : names)
        if (ProbeFile(name).kind != FileProbe::Kind::Absent)
            return Failed(name, ERROR_FILE_EXISTS);
    m_journal.entries = entries;
    m_begun = true;
    return {};
}

void UpgradeTransaction::Hold(size_t index, FileHandle held) {
    m_held[m_journal.entries[index].item] = std::move(held);
}

Result UpgradeTransaction::StageCopy(size_t index, const CString& source,
                                     const PayloadDigest* expected) {
    const JournalEntry& entry = m_journal.entries[index];
    const CString& installed = m_tree.Path(entry.item);
    return CopyToNewFile(source, m_tree.Path(entry.item, Place::Staged),
                         entry.adds ? CString() : installed, expected, &m_staged[entry.item]);
}

Result UpgradeTransaction::StageBytes(size_t index, std::string_view bytes) {
    const int item = m_journal.entries[index].item;
    return WriteNewFile(m_tree.Path(item, Place::Staged), bytes, m_tree.Path(item));
}

Result UpgradeTransaction::Commit() {
    // Every staged copy is on the disk before the journal is written.
    for (NewFile& staged : m_staged)
        if (Result flushed = staged.Wait(); !flushed)
            return flushed;
    // An upgrade that changes nothing leaves no journal.
    if (m_journal.entries.empty()) {
        m_committed = true;
        return {};
    }
    // Every installed file is held before anything changes, so that a file in use fails the
    // upgrade first and no program opens one until it has been replaced. The journal records
    // each new file as the file system keeps it.
    for (JournalEntry& entry : m_journal.entries) {
        const CString& installed = m_tree.Path(entry.item);
        const CString& stagedPath = m_tree.Path(entry.item, Place::Staged);
        if (entry.adds) {
            if (ProbeFile(installed).kind != FileProbe::Kind::Absent)
                return Failed(installed, ERROR_FILE_EXISTS);
        } else if (!m_held[entry.item]) {
            if (Result held = HoldFile(installed, &m_held[entry.item]); !held)
                return held;
        }
        FileProbe staged = ProbeFile(stagedPath);
        if (staged.kind != FileProbe::Kind::File)
            return Failed(stagedPath, staged.error ? staged.error : ERROR_FILE_NOT_FOUND);
        entry.size = staged.size;
        entry.lastWrite = staged.lastWrite;
    }
    if (Result written = WriteJournal(); !written)
        return written;
    for (const PlanStep& step : PlanCommit(m_journal)) {
        // Once the journal says Committed the upgrade is complete: a backup that cannot be
        // deleted yet is deleted by the end of the run, or the next start.
        // The installed file is renamed away, and deleted as the backup, through the handle that
        // holds it; the journal is renamed through the handle that made it.
        FileHandle byName;
        FileHandle& file = step.kind == PlanStep::Kind::CommitJournal ? m_journalFile
                           : step.from != Place::Staged               ? m_held[step.item]
                                                                      : byName;
        if (Result done = Execute(step, m_tree, file); !done && !m_committed)
            return done;
        if (step.kind == PlanStep::Kind::CommitJournal)
            m_committed = true;
    }
    return {};
}

Result UpgradeTransaction::WriteJournal() {
    const CString& staged = m_tree.StagedJournalPath();
    if (Result written = WriteNewFile(staged, FormatJournal(m_journal), CString(), &m_journalFile);
        !written)
        return written;
    // The journal appears under its name in one step: whole, or not at all.
    return RenameHeld(m_journalFile, m_tree.JournalPath(JournalState::Committing));
}

Result UpgradeTransaction::Recover(const ProductTree& tree, RecoveryPlan::Outcome* found,
                                   std::vector<CString>* waiting) {
    RecoveryPlan plan;
    Result done = Plan(tree, Finishing::Backups, &plan);
    if (done)
        done = ExecuteAll(plan.steps, tree, waiting);
    *found = done ? plan.outcome : RecoveryPlan::Outcome::None;
    return done;
}

Result UpgradeTransaction::Finish(const ProductTree& tree, Finishing what,
                                  std::vector<CString>* waiting) {
    // Only a complete upgrade is finished here; anything else is for the next start.
    RecoveryPlan plan;
    Result planned = Plan(tree, what, &plan);
    return planned && plan.outcome == RecoveryPlan::Outcome::Completed
               ? ExecuteAll(plan.steps, tree, waiting)
               : planned;
}
