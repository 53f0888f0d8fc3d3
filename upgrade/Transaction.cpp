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

CString Backup(const CString& path) {
    return BackupPathOf(path.Str()).c_str();
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
           : place == Place::Backup ? Backup(installed)
                                    : installed;
}

// Whether something is at `path`; false, with the error, when the system cannot tell. A name
// too long for the file functions is one the upgrade never made: nothing of it is there.
bool Probe(const CString& path, FileProbe* probe, FileError* error) {
    *probe = FitsFileFunctions(path) ? ProbeFile(path) : FileProbe();
    return probe->kind != FileProbe::Kind::Unreadable || FailWith(error, path, probe->error);
}

bool GatherJournal(const CString& path, JournalFacts* facts, FileError* error) {
    FileProbe probe;
    if (!Probe(path, &probe, error))
        return false;
    if (probe.kind == FileProbe::Kind::Absent)
        return true;
    std::string text;
    // A journal too long to be one of ours is unreadable, not an error.
    if (probe.kind == FileProbe::Kind::File && probe.size <= kLongestJournal &&
        !ReadWholeFile(path, kLongestJournal, &text, error))
        return false;
    facts->kind = ParseJournal(text, &facts->journal) ? JournalFacts::Kind::Read
                                                      : JournalFacts::Kind::Unreadable;
    return true;
}

// What the disk holds of every item and of the journal.
bool GatherFacts(const CString& installBase, DiskFacts* disk, FileError* error) {
    for (int item = 0; item < kItemCount; ++item) {
        FileProbe staged, backup, installed;
        if (!Probe(PathOf(installBase, item, Place::Staged), &staged, error) ||
            !Probe(PathOf(installBase, item, Place::Backup), &backup, error) ||
            !Probe(PathOf(installBase, item, Place::Destination), &installed, error))
            return false;
        ItemFacts& facts = disk->items[item];
        facts.staged = staged.kind != FileProbe::Kind::Absent;
        facts.backup = backup.kind != FileProbe::Kind::Absent;
        facts.destination.exists = installed.kind != FileProbe::Kind::Absent;
        facts.destination.size = installed.size;
        facts.destination.lastWrite = installed.lastWrite;
    }
    for (JournalState state : {JournalState::Committing, JournalState::Committed})
        if (!GatherJournal(JournalPath(installBase, state),
                           &disk->journals[static_cast<int>(state)], error))
            return false;
    FileProbe stagedJournal;
    if (!Probe(StagedJournalPath(installBase), &stagedJournal, error))
        return false;
    disk->stagedJournal = stagedJournal.kind != FileProbe::Kind::Absent;
    return true;
}

// Carries out one step. `held` gives the held installed file of an item, or is empty.
bool Execute(const PlanStep& step, const CString& installBase, FileHandle* held, FileError* error) {
    switch (step.kind) {
    case PlanStep::Kind::Rename: {
        CString to = PathOf(installBase, step.item, step.to);
        if (held && held->IsValid() && step.from == Place::Destination) {
            bool renamed = RenameHeld(*held, to, error);
            held->Reset();
            return renamed;
        }
        return RenameFile(PathOf(installBase, step.item, step.from), to, error);
    }
    case PlanStep::Kind::Delete:
        return RemoveFile(PathOf(installBase, step.item, step.from), error);
    case PlanStep::Kind::DeleteJournal:
        return RemoveFile(JournalPath(installBase, step.journal), error);
    case PlanStep::Kind::DeleteStagedJournal:
        return RemoveFile(StagedJournalPath(installBase), error);
    case PlanStep::Kind::CommitJournal:
        return RenameFile(JournalPath(installBase, JournalState::Committing),
                          JournalPath(installBase, JournalState::Committed), error);
    }
    return false;
}

bool ExecuteAll(const std::vector<PlanStep>& steps, const CString& installBase, FileError* error) {
    for (const PlanStep& step : steps)
        if (!Execute(step, installBase, nullptr, error))
            return false;
    return true;
}

// Whether a journal could lie in `installBase`: only where the product could have been upgraded.
bool MayHoldAJournal(const CString& installBase) {
    return IsAbsolutePath(installBase.Str()) && FitsFileFunctions(StagedJournalPath(installBase)) &&
           ProbeFile(installBase).kind == FileProbe::Kind::Folder;
}
} // namespace

UpgradeTransaction::UpgradeTransaction(const CString& installBase) : m_installBase(installBase) {
}

UpgradeTransaction::~UpgradeTransaction() {
    if (!m_begun || m_committed)
        return;
    // Should a step fail, what is left is rolled back by the next start of Setup.
    for (FileHandle& held : m_held)
        held.Reset();
    Recover(m_installBase, nullptr);
}

bool UpgradeTransaction::Begin(const std::vector<JournalEntry>& entries, FileError* error) {
    std::vector<CString> names = {JournalPath(m_installBase, JournalState::Committing),
                                  JournalPath(m_installBase, JournalState::Committed),
                                  StagedJournalPath(m_installBase)};
    for (const JournalEntry& entry : entries) {
        names.push_back(PathOf(m_installBase, entry.item, Place::Staged));
        names.push_back(PathOf(m_installBase, entry.item, Place::Backup));
    }
    for (const CString& name : names) {
        if (!FitsFileFunctions(name))
            return FailWith(error, name, ERROR_FILENAME_EXCED_RANGE);
        if (ProbeFile(name).kind != FileProbe::Kind::Absent)
            return FailWith(error, name, ERROR_FILE_EXISTS);
    }
    m_journal.entries = entries;
    m_begun = true;
    return true;
}

void UpgradeTransaction::Hold(size_t index, FileHandle held) {
    m_held[m_journal.entries[index].item] = std::move(held);
}

bool UpgradeTransaction::StageCopy(size_t index, const CString& source,
                                   const PayloadDigest* expected, FileError* error) {
    const JournalEntry& entry = m_journal.entries[index];
    CString installed = ItemFile(m_installBase, entry.item);
    return CopyToNewFile(source, Staged(installed), entry.adds ? CString() : installed, expected,
                         error);
}

bool UpgradeTransaction::StageBytes(size_t index, std::string_view bytes, FileError* error) {
    CString installed = ItemFile(m_installBase, m_journal.entries[index].item);
    NewFile staged;
    return staged.Create(Staged(installed), error) &&
           staged.Write(bytes.data(), static_cast<DWORD>(bytes.size()), error) &&
           staged.Finish(nullptr, installed, error);
}

bool UpgradeTransaction::Commit(FileError* error) {
    // An upgrade that changes nothing leaves no journal.
    if (m_journal.entries.empty()) {
        m_committed = true;
        return true;
    }
    // Every installed file is held before anything changes, so that a file in use fails the
    // upgrade first and no program opens one until it has been replaced. The journal records
    // each new file as the file system keeps it.
    for (JournalEntry& entry : m_journal.entries) {
        CString installed = ItemFile(m_installBase, entry.item);
        if (entry.adds) {
            if (ProbeFile(installed).kind != FileProbe::Kind::Absent)
                return FailWith(error, installed, ERROR_FILE_EXISTS);
        } else if (!m_held[entry.item] && !HoldFile(installed, &m_held[entry.item], error)) {
            return false;
        }
        FileProbe staged = ProbeFile(Staged(installed));
        if (staged.kind != FileProbe::Kind::File)
            return FailWith(error, Staged(installed),
                            staged.error ? staged.error : ERROR_FILE_NOT_FOUND);
        entry.size = staged.size;
        entry.lastWrite = staged.lastWrite;
    }
    if (!WriteJournal(error))
        return false;
    for (const PlanStep& step : PlanCommit(m_journal)) {
        // Once the journal says Committed the upgrade is complete: a backup that cannot be
        // deleted yet is deleted by the end of the run, or the next start.
        if (!Execute(step, m_installBase, &m_held[step.item], error) && !m_committed)
            return false;
        if (step.kind == PlanStep::Kind::CommitJournal)
            m_committed = true;
    }
    return true;
}

bool UpgradeTransaction::WriteJournal(FileError* error) {
    CString staged = StagedJournalPath(m_installBase);
    std::string text = FormatJournal(m_journal);
    {
        NewFile file;
        if (!file.Create(staged, error) ||
            !file.Write(text.data(), static_cast<DWORD>(text.size()), error) ||
            !file.Finish(nullptr, CString(), error))
            return false;
    }
    // The journal appears under its name in one step: whole, or not at all.
    return RenameFile(staged, JournalPath(m_installBase, JournalState::Committing), error);
}

UpgradeTransaction::Recovery UpgradeTransaction::Recover(const CString& installBase,
                                                         FileError* error) {
    if (!MayHoldAJournal(installBase))
        return Recovery::None;
    DiskFacts disk;
    if (!GatherFacts(installBase, &disk, error))
        return Recovery::Failed;
    RecoveryPlan plan = PlanRecovery(disk, false);
    if (!ExecuteAll(plan.steps, installBase, error))
        return Recovery::Failed;
    switch (plan.outcome) {
    case RecoveryPlan::Outcome::Completed:
        return Recovery::Completed;
    case RecoveryPlan::Outcome::RolledBack:
        return Recovery::RolledBack;
    default:
        return Recovery::None;
    }
}

void UpgradeTransaction::Finish(const CString& installBase) {
    DiskFacts disk;
    if (!MayHoldAJournal(installBase) || !GatherFacts(installBase, &disk, nullptr))
        return;
    // Only a complete upgrade is finished here; anything else is for the next start.
    RecoveryPlan plan = PlanRecovery(disk, true);
    if (plan.outcome == RecoveryPlan::Outcome::Completed)
        ExecuteAll(plan.steps, installBase, nullptr);
}
