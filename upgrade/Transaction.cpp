#include "upgrade/Transaction.h"

#include "upgrade/FileOps.h"
#include "upgrade/Recovery.h"

namespace {
// The journal's size is a few lines per item.
constexpr size_t kLongestJournal = 4096;

CString JournalPath(const CString& installBase, JournalState state) {
    return installBase + JournalNameOf(state);
}

CString Staged(const CString& path) {
    return StagedPathOf(path.Str()).c_str();
}

CString StagedJournalPath(const CString& installBase) {
    return Staged(JournalPath(installBase, JournalState::Committing));
}

CString ItemFile(const CString& installBase, int item) {
    return CString(ItemPath(installBase.Str(), item));
}

CString PathOf(const CString& installBase, int item, Place place) {
    CString installed = ItemFile(installBase, item);
    return place == Place::Staged   ? Staged(installed)
           : place == Place::Backup ? CString(BackupPathOf(installed.Str()))
                                    : installed;
}

// Whether something is at `path`; a failure when the system cannot tell. A name too long for the
// file functions is one the upgrade never made: nothing of it is there.
Result Probe(const CString& path, FileProbe* probe) {
    *probe = FitsFileFunctions(path) ? ProbeFile(path) : FileProbe();
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

// What the disk holds of every item and of the journal.
Result GatherFacts(const CString& installBase, DiskFacts* disk) {
    for (int item = 0; item < kItemCount; ++item) {
        FileProbe probes[3];
        const Place places[3] = {Place::Staged, Place::Backup, Place::Destination};
        for (int i = 0; i < 3; ++i)
            if (Result probed = Probe(PathOf(installBase, item, places[i]), &probes[i]); !probed)
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
        if (Result read = GatherJournal(JournalPath(installBase, state),
                                        &disk->journals[static_cast<int>(state)]);
            !read)
            return read;
    FileProbe stagedJournal;
    Result probed = Probe(StagedJournalPath(installBase), &stagedJournal);
    disk->stagedJournal = stagedJournal.kind != FileProbe::Kind::Absent;
    return probed;
}

// Carries out one step. `held` gives the held installed file of an item, or is empty.
Result Execute(const PlanStep& step, const CString& installBase, FileHandle* held) {
    switch (step.kind) {
    case PlanStep::Kind::Rename: {
        CString to = PathOf(installBase, step.item, step.to);
        if (held && held->IsValid() && step.from == Place::Destination) {
            Result renamed = RenameHeld(*held, to);
            held->Reset();
            return renamed;
        }
        return RenameFile(PathOf(installBase, step.item, step.from), to);
    }
    case PlanStep::Kind::Delete:
        return RemoveFile(PathOf(installBase, step.item, step.from));
    case PlanStep::Kind::DeleteJournal:
        return RemoveFile(JournalPath(installBase, step.journal));
    case PlanStep::Kind::DeleteStagedJournal:
        return RemoveFile(StagedJournalPath(installBase));
    case PlanStep::Kind::CommitJournal:
        return RenameFile(JournalPath(installBase, JournalState::Committing),
                          JournalPath(installBase, JournalState::Committed));
    }
    return Failed(installBase, ERROR_INVALID_FUNCTION);
}

// The file that `step` renames or deletes.
CString ActedOn(const PlanStep& step, const CString& installBase) {
    switch (step.kind) {
    case PlanStep::Kind::DeleteJournal:
        return JournalPath(installBase, step.journal);
    case PlanStep::Kind::DeleteStagedJournal:
        return StagedJournalPath(installBase);
    case PlanStep::Kind::CommitJournal:
        return JournalPath(installBase, JournalState::Committing);
    default:
        return PathOf(installBase, step.item, step.from);
    }
}

// Moves the old file of `item`, still in use, to the first free name it may wait under, and has
// Windows delete it at the next restart.
Result WaitForRestart(const CString& installBase, int item, std::vector<CString>* waiting) {
    const std::string installed = ItemPath(installBase.Str(), item);
    for (int number = 1; number <= 9; ++number) {
        const CString name = WaitingPathOf(installed, number).c_str();
        FileProbe probe;
        if (Result probed = Probe(name, &probe); !probed || probe.kind != FileProbe::Kind::Absent)
            continue;
        Result done = RenameFile(PathOf(installBase, item, Place::Backup), name);
        if (done)
            done = DeleteAtRestart(name);
        if (done && waiting)
            waiting->push_back(name);
        return done;
    }
    return Failed(PathOf(installBase, item, Place::Backup), ERROR_FILE_EXISTS);
}

// Carries out `steps`. Only plain files are acted on: a folder or a link under one of the names
// stops the plan before anything has changed, naming it (each step checks again as it acts). An
// old file that cannot be deleted because it is still in use (a running program's) waits for the
// next restart.
Result ExecuteAll(const std::vector<PlanStep>& steps, const CString& installBase,
                  std::vector<CString>* waiting = nullptr) {
    for (const PlanStep& step : steps)
        if (Result plain = CheckPlainFile(ActedOn(step, installBase)); !plain)
            return plain;
    for (const PlanStep& step : steps) {
        Result done = Execute(step, installBase, nullptr);
        if (!done && step.kind == PlanStep::Kind::Delete && step.from == Place::Backup &&
            (done.code == ERROR_ACCESS_DENIED || done.code == ERROR_SHARING_VIOLATION))
            done = WaitForRestart(installBase, step.item, waiting);
        if (!done)
            return done;
    }
    return {};
}

// Whether a journal could lie in `installBase`: only where the product could have been upgraded.
bool MayHoldAJournal(const CString& installBase) {
    return IsAbsolutePath(installBase.Str()) && FitsFileFunctions(StagedJournalPath(installBase)) &&
           ProbeFile(installBase).kind == FileProbe::Kind::Folder;
}
} // namespace

UpgradeTransaction::UpgradeTransaction(const CString& installBase) : m_installBase(installBase) {
}

Result UpgradeTransaction::RollBack() {
    if (!m_begun || m_committed)
        return {};
    for (FileHandle& held : m_held)
        held.Reset();
    for (NewFile& staged : m_staged)
        (void)staged.Wait();
    m_begun = false;
    Recovery found = Recovery::None;
    return Recover(m_installBase, &found);
}

Result UpgradeTransaction::Begin(const std::vector<JournalEntry>& entries) {
    std::vector<CString> names = {JournalPath(m_installBase, JournalState::Committing),
                                  JournalPath(m_installBase, JournalState::Committed),
                                  StagedJournalPath(m_installBase)};
    for (const JournalEntry& entry : entries) {
        names.push_back(PathOf(m_installBase, entry.item, Place::Staged));
        names.push_back(PathOf(m_installBase, entry.item, Place::Backup));
    }
    for (const CString& name : names) {
        if (!FitsFileFunctions(name))
            return Failed(name, ERROR_FILENAME_EXCED_RANGE);
        if (ProbeFile(name).kind != FileProbe::Kind::Absent)
            return Failed(name, ERROR_FILE_EXISTS);
    }
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
    CString installed = ItemFile(m_installBase, entry.item);
    return CopyToNewFile(source, Staged(installed), entry.adds ? CString() : installed, expected,
                         &m_staged[entry.item]);
}

Result UpgradeTransaction::StageBytes(size_t index, std::string_view bytes) {
    CString installed = ItemFile(m_installBase, m_journal.entries[index].item);
    return WriteNewFile(Staged(installed), bytes, installed);
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
        CString installed = ItemFile(m_installBase, entry.item);
        if (entry.adds) {
            if (ProbeFile(installed).kind != FileProbe::Kind::Absent)
                return Failed(installed, ERROR_FILE_EXISTS);
        } else if (!m_held[entry.item]) {
            if (Result held = HoldFile(installed, &m_held[entry.item]); !held)
                return held;
        }
        FileProbe staged = ProbeFile(Staged(installed));
        if (staged.kind != FileProbe::Kind::File)
            return Failed(Staged(installed), staged.error ? staged.error : ERROR_FILE_NOT_FOUND);
        entry.size = staged.size;
        entry.lastWrite = staged.lastWrite;
    }
    if (Result written = WriteJournal(); !written)
        return written;
    for (const PlanStep& step : PlanCommit(m_journal)) {
        // Once the journal says Committed the upgrade is complete: a backup that cannot be
        // deleted yet is deleted by the end of the run, or the next start.
        if (Result done = Execute(step, m_installBase, &m_held[step.item]); !done && !m_committed)
            return done;
        if (step.kind == PlanStep::Kind::CommitJournal)
            m_committed = true;
    }
    return {};
}

Result UpgradeTransaction::WriteJournal() {
    CString staged = StagedJournalPath(m_installBase);
    if (Result written = WriteNewFile(staged, FormatJournal(m_journal), CString()); !written)
        return written;
    // The journal appears under its name in one step: whole, or not at all.
    return RenameFile(staged, JournalPath(m_installBase, JournalState::Committing));
}

Result UpgradeTransaction::Recover(const CString& installBase, Recovery* found) {
    *found = Recovery::None;
    if (!MayHoldAJournal(installBase))
        return {};
    DiskFacts disk;
    if (Result gathered = GatherFacts(installBase, &disk); !gathered)
        return gathered;
    RecoveryPlan plan = PlanRecovery(disk, false);
    if (Result done = ExecuteAll(plan.steps, installBase); !done)
        return done;
    if (plan.outcome == RecoveryPlan::Outcome::Completed)
        *found = Recovery::Completed;
    else if (plan.outcome == RecoveryPlan::Outcome::RolledBack)
        *found = Recovery::RolledBack;
    return {};
}

void UpgradeTransaction::Finish(const CString& installBase, bool forget,
                                std::vector<CString>* waiting) {
    DiskFacts disk;
    if (!MayHoldAJournal(installBase) || !GatherFacts(installBase, &disk))
        return;
    // Only a complete upgrade is finished here; anything else is for the next start. What cannot
    // be deleted now (a backup held by a virus scanner, say) is for the next start too, which
    // finds the upgrade complete.
    RecoveryPlan plan = PlanRecovery(disk, forget);
    if (plan.outcome == RecoveryPlan::Outcome::Completed)
        (void)ExecuteAll(plan.steps, installBase, waiting);
}
