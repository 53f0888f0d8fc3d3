#include "upgrade/Transaction.h"

#include "upgrade/AppListRegistration.h"
#include "upgrade/FileOps.h"
#include "upgrade/PayloadRules.h"

namespace {
const JournalState kStates[] = {JournalState::Preparing, JournalState::Committing,
                                JournalState::Committed};

CString JournalPath(const CString& installBase, JournalState state) {
    return installBase + JournalNameOf(state);
}

CString Staged(const CString& path) {
    return StagedPathOf(path.Str()).c_str();
}

CString Backup(const CString& path) {
    return BackupPathOf(path.Str()).c_str();
}

bool Exists(const CString& path) {
    return ProbeFile(path).kind != FileProbe::Kind::Absent;
}

// Whether the destination may be renamed over: absent when the entry adds it, else a file that
// no other program holds open. (Windows refuses to rename over a file in use; Wine does not, so
// the program looks first.)
bool ReadyForRename(const CString& destination, bool adds) {
    if (adds)
        return ProbeFile(destination).kind == FileProbe::Kind::Absent;
    return OpenExclusively(destination).IsValid();
}

bool RenameIntoPlace(const CString& destination, bool adds) {
    DWORD flags = MOVEFILE_WRITE_THROUGH | (adds ? 0 : MOVEFILE_REPLACE_EXISTING);
    return Retry(kFileAttempts, [&] {
        return ReadyForRename(destination, adds) &&
               ::MoveFileExA(Staged(destination), destination, flags);
    });
}

// Keeps the old file under its backup name: a second name for the same file where the file
// system allows it (nothing is copied, and the old file comes back whole, with everything it
// carries), else a copy.
bool MakeBackup(const CString& destination) {
    return ::CreateHardLinkA(Backup(destination), destination, nullptr) ||
           CopyToNewFile(destination, Backup(destination), destination);
}

bool ReadJournal(const CString& path, Journal* journal) {
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite))
        return false;
    try {
        std::string text = ReadWholeFile(file);
        return ParseJournal(text, journal);
    } catch (const CFileException&) {
        return false;
    }
}

// Undoes or finishes every entry as the journal's state says.
bool ApplyRecovery(const Journal& journal, const CString& installBase) {
    bool done = true;
    for (const JournalEntry& entry : journal.entries) {
        CString destination = UpgradedFile(installBase, entry.item);
        unsigned steps = RecoverySteps(journal.state, entry.adds, Exists(Staged(destination)),
                                       Exists(Backup(destination)));
        if (steps & kRestoreBackup)
            done &= Retry(kFileAttempts, [&] {
                return ::MoveFileExA(Backup(destination), destination,
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
            });
        if (steps & kDeleteDestination)
            done &= DeleteWithRetries(destination);
        if (steps & kDeleteStaged)
            done &= DeleteWithRetries(Staged(destination));
        if (steps & kDeleteBackup)
            done &= DeleteWithRetries(Backup(destination));
    }
    return done;
}

// Deletes the journal under whichever name it has, and one left half made.
bool DeleteJournal(const CString& installBase) {
    bool deleted = DeleteWithRetries(Staged(JournalPath(installBase, JournalState::Preparing)));
    for (JournalState state : kStates)
        deleted &= DeleteWithRetries(JournalPath(installBase, state));
    return deleted;
}

// Finds the journal of an earlier run: false when there is none; `*readable` says whether the
// one found could be read.
bool FindJournal(const CString& installBase, Journal* journal, bool* readable) {
    *readable = true;
    for (JournalState state : kStates) {
        CString path = JournalPath(installBase, state);
        if (!Exists(path))
            continue;
        journal->state = state;
        *readable = ReadJournal(path, journal);
        return true;
    }
    return false;
}
} // namespace

CString UpgradedFile(const CString& installBase, int item) {
    return item == kListItem ? AppListPath(installBase)
                             : installBase + kPayloadRows[item].destination;
}

UpgradeTransaction::UpgradeTransaction(const CString& installBase) : m_installBase(installBase) {
}

UpgradeTransaction::~UpgradeTransaction() {
    if (m_begun && !m_committed)
        RollBack();
}

bool UpgradeTransaction::Begin(const std::vector<JournalEntry>& entries) {
    for (JournalState state : kStates) {
        CString journal = JournalPath(m_installBase, state);
        if (!FitsFileFunctions(Staged(journal)) || Exists(journal))
            return false;
    }
    for (const JournalEntry& entry : entries) {
        CString destination = UpgradedFile(m_installBase, entry.item);
        if (!FitsFileFunctions(Staged(destination)) || !FitsFileFunctions(Backup(destination)) ||
            Exists(Staged(destination)) || Exists(Backup(destination)))
            return false;
    }
    m_journal.entries = entries;
    m_begun = WriteJournal();
    return m_begun;
}

bool UpgradeTransaction::StageCopy(size_t index, const CString& source) {
    const JournalEntry& entry = m_journal.entries[index];
    CString destination = UpgradedFile(m_installBase, entry.item);
    return CopyToNewFile(source, Staged(destination), entry.adds ? CString() : destination);
}

bool UpgradeTransaction::StageBytes(size_t index, std::string_view bytes) {
    CString destination = UpgradedFile(m_installBase, m_journal.entries[index].item);
    NewFile staged;
    if (!staged.Create(Staged(destination)))
        return false;
    staged.Write(bytes.data(), static_cast<DWORD>(bytes.size()));
    staged.Finish(nullptr, destination);
    return true;
}

bool UpgradeTransaction::Commit() {
    // Look at every destination first, so that a file in use fails the upgrade before anything
    // has changed.
    for (const JournalEntry& entry : m_journal.entries) {
        CString destination = UpgradedFile(m_installBase, entry.item);
        if (!Retry(kFileAttempts, [&] { return ReadyForRename(destination, entry.adds); }))
            return false;
    }
    if (!MoveJournalTo(JournalState::Committing))
        return false;
    // The backup is made just before the rename, once the file is known to be free: a second
    // name of a file that a program holds could not be deleted again until it lets go.
    for (const JournalEntry& entry : m_journal.entries) {
        CString destination = UpgradedFile(m_installBase, entry.item);
        if ((!entry.adds && !MakeBackup(destination)) || !RenameIntoPlace(destination, entry.adds))
            return false;
    }
    if (!MoveJournalTo(JournalState::Committed))
        return false;
    m_committed = true;
    for (const JournalEntry& entry : m_journal.entries)
        DeleteWithRetries(Backup(UpgradedFile(m_installBase, entry.item)));
    return true;
}

UpgradeTransaction::Recovery UpgradeTransaction::Recover(const CString& installBase) {
    // Only where the product could have been upgraded can a journal lie.
    if (!IsAbsolutePath(installBase.Str()) ||
        !FitsFileFunctions(Staged(JournalPath(installBase, JournalState::Committing))) ||
        ProbeFile(installBase).kind != FileProbe::Kind::Folder)
        return Recovery::None;
    Journal journal;
    bool readable = true;
    if (!FindJournal(installBase, &journal, &readable))
        return DeleteJournal(installBase) ? Recovery::None : Recovery::Failed;
    if (!readable || !ApplyRecovery(journal, installBase))
        return Recovery::Failed;
    // A committed run keeps its journal until it has ended (Finish), so that a crash before
    // then still finds it complete.
    if (journal.state == JournalState::Committed)
        return Recovery::Completed;
    return DeleteJournal(installBase) ? Recovery::RolledBack : Recovery::Failed;
}

void UpgradeTransaction::Finish(const CString& installBase) {
    if (Recover(installBase) == Recovery::Completed)
        DeleteJournal(installBase);
}

bool UpgradeTransaction::WriteJournal() {
    CString path = JournalPath(m_installBase, JournalState::Preparing);
    CString staged = Staged(path);
    std::string text = FormatJournal(m_journal);
    {
        NewFile file;
        if (!DeleteWithRetries(staged) || !file.Create(staged))
            return false;
        file.Write(text.data(), static_cast<DWORD>(text.size()));
        file.Finish(nullptr, CString());
    }
    if (!Retry(kFileAttempts,
               [&] { return ::MoveFileExA(staged, path, MOVEFILE_WRITE_THROUGH) != FALSE; })) {
        DeleteWithRetries(staged);
        return false;
    }
    m_journal.state = JournalState::Preparing;
    return true;
}

bool UpgradeTransaction::MoveJournalTo(JournalState state) {
    CString from = JournalPath(m_installBase, m_journal.state);
    CString to = JournalPath(m_installBase, state);
    // A program that glances at files (a virus scanner, say) may hold the journal a moment.
    if (!Retry(kFileAttempts,
               [&] { return ::MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != FALSE; }))
        return false;
    // The journal in memory follows the one on the disk, so that a roll-back undoes exactly what
    // the disk's journal says may have happened.
    m_journal.state = state;
    return true;
}

bool UpgradeTransaction::RollBack() {
    // Should a step fail, the journal stays for the next start of Setup to try again.
    return ApplyRecovery(m_journal, m_installBase) && DeleteJournal(m_installBase);
}
