#include "upgrade/Transaction.h"

#include "upgrade/FileOps.h"

namespace {
const char kJournalName[] = "\\QuilloSetup.journal";

CString JournalPath(const CString& installBase) {
    return installBase + kJournalName;
}

CString Staged(const JournalEntry& entry) {
    return StagedPathOf(entry.destination);
}

CString Backup(const JournalEntry& entry) {
    return BackupPathOf(entry.destination);
}

bool Exists(const CString& path) {
    return ProbeFile(path).kind != FileProbe::Kind::Absent;
}

// Whether the destination may be renamed over: absent when the entry adds it, else a file that
// no other program holds open. (Windows refuses to rename over a file in use; Wine does not, so
// the program looks first.)
bool ReadyForRename(const JournalEntry& entry) {
    if (entry.adds)
        return ProbeFile(entry.destination.c_str()).kind == FileProbe::Kind::Absent;
    return OpenExclusively(entry.destination.c_str()).IsValid();
}

bool RenameIntoPlace(const JournalEntry& entry) {
    DWORD flags = MOVEFILE_WRITE_THROUGH | (entry.adds ? 0 : MOVEFILE_REPLACE_EXISTING);
    return Retry(kFileAttempts, [&] {
        return ReadyForRename(entry) &&
               ::MoveFileExA(Staged(entry), entry.destination.c_str(), flags);
    });
}

// Keeps the old file under its backup name: a second name for the same file where the file
// system allows it (nothing is copied, and the old file comes back whole, with everything it
// carries), else a copy.
bool MakeBackup(const JournalEntry& entry) {
    CString destination = entry.destination.c_str();
    return ::CreateHardLinkA(Backup(entry), destination, nullptr) ||
           CopyToNewFile(destination, Backup(entry), destination);
}

bool ReadJournal(const CString& path, Journal* journal) {
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite))
        return false;
    try {
        return ParseJournal(ReadWholeFile(file), journal);
    } catch (const CFileException&) {
        return false;
    }
}

// Undoes or finishes every entry as the journal's state says.
bool ApplyRecovery(const Journal& journal) {
    bool done = true;
    for (const JournalEntry& entry : journal.entries) {
        unsigned steps =
            RecoverySteps(journal.state, entry.adds, Exists(Staged(entry)), Exists(Backup(entry)));
        CString destination = entry.destination.c_str();
        if (steps & kRestoreBackup)
            done &= Retry(kFileAttempts, [&] {
                return ::MoveFileExA(Backup(entry), destination,
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
            });
        if (steps & kDeleteDestination)
            done &= DeleteWithRetries(destination);
        if (steps & kDeleteStaged)
            done &= DeleteWithRetries(Staged(entry));
        if (steps & kDeleteBackup)
            done &= DeleteWithRetries(Backup(entry));
    }
    return done;
}

// Deletes the journal, and its next version should one have been left half made.
bool DeleteJournal(const CString& journalPath) {
    return DeleteWithRetries(StagedPathOf(journalPath.Str()).c_str()) &&
           DeleteWithRetries(journalPath);
}
} // namespace

UpgradeTransaction::UpgradeTransaction(const CString& installBase) : m_installBase(installBase) {
}

UpgradeTransaction::~UpgradeTransaction() {
    if (m_begun && !m_committed)
        RollBack();
}

bool UpgradeTransaction::Begin(const std::vector<JournalEntry>& entries) {
    CString journal = JournalPath(m_installBase);
    if (!FitsFileFunctions(StagedPathOf(journal.Str()).c_str()) || Exists(journal))
        return false;
    for (const JournalEntry& entry : entries) {
        if (!FitsFileFunctions(Staged(entry)) || !FitsFileFunctions(Backup(entry)) ||
            Exists(Staged(entry)) || Exists(Backup(entry)))
            return false;
    }
    m_journal.entries = entries;
    m_begun = WriteJournal(JournalState::Preparing);
    return m_begun;
}

bool UpgradeTransaction::StageCopy(size_t index, const CString& source) {
    const JournalEntry& entry = m_journal.entries[index];
    CString like = entry.adds ? CString() : CString(entry.destination.c_str());
    return CopyToNewFile(source, Staged(entry), like);
}

bool UpgradeTransaction::StageBytes(size_t index, const std::string& bytes) {
    const JournalEntry& entry = m_journal.entries[index];
    NewFile staged;
    if (!staged.Create(Staged(entry)))
        return false;
    staged.Write(bytes.data(), static_cast<DWORD>(bytes.size()));
    staged.Finish(nullptr, entry.destination.c_str());
    return true;
}

bool UpgradeTransaction::Commit() {
    // Look at every destination first, so that a file in use fails the upgrade before anything
    // has changed.
    for (const JournalEntry& entry : m_journal.entries) {
        if (!Retry(kFileAttempts, [&] { return ReadyForRename(entry); }))
            return false;
    }
    if (!WriteJournal(JournalState::Committing))
        return false;
    // The backup is made just before the rename, once the file is known to be free: a second
    // name of a file that a program holds could not be deleted again until it lets go.
    for (const JournalEntry& entry : m_journal.entries) {
        if ((!entry.adds && !MakeBackup(entry)) || !RenameIntoPlace(entry))
            return false;
    }
    if (!WriteJournal(JournalState::Committed))
        return false;
    m_committed = true;
    for (const JournalEntry& entry : m_journal.entries)
        DeleteWithRetries(Backup(entry));
    return true;
}

UpgradeTransaction::Recovery UpgradeTransaction::Recover(const CString& installBase) {
    CString path = JournalPath(installBase);
    if (!IsAbsolutePath(installBase.Str()) || !FitsFileFunctions(StagedPathOf(path.Str()).c_str()))
        return Recovery::None;
    if (!Exists(path))
        return DeleteJournal(path) ? Recovery::None : Recovery::Failed;
    Journal journal;
    if (!ReadJournal(path, &journal) || !ApplyRecovery(journal))
        return Recovery::Failed;
    // A committed run keeps its journal until it has ended (Finish), so that a crash before
    // then still finds it complete.
    if (journal.state == JournalState::Committed)
        return Recovery::Completed;
    return DeleteJournal(path) ? Recovery::RolledBack : Recovery::Failed;
}

void UpgradeTransaction::Finish(const CString& installBase) {
    if (Recover(installBase) == Recovery::Completed)
        DeleteJournal(JournalPath(installBase));
}

bool UpgradeTransaction::WriteJournal(JournalState state) {
    Journal next = m_journal;
    next.state = state;
    CString path = JournalPath(m_installBase);
    CString staged = StagedPathOf(path.Str()).c_str();
    std::string text = FormatJournal(next);
    {
        NewFile file;
        if (!DeleteWithRetries(staged) || !file.Create(staged))
            return false;
        file.Write(text.data(), static_cast<DWORD>(text.size()));
        file.Finish(nullptr, CString());
    }
    if (!::MoveFileExA(staged, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteWithRetries(staged);
        return false;
    }
    // The journal in memory follows the one on the disk, so that a roll-back undoes exactly what
    // the disk's journal says may have happened.
    m_journal.state = state;
    return true;
}

bool UpgradeTransaction::RollBack() {
    // Should a step fail, the journal stays for the next start of Setup to try again.
    return ApplyRecovery(m_journal) && DeleteJournal(JournalPath(m_installBase));
}
