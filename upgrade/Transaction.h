// An upgrade's changes to installed files as one unit: all of them happen, or none. Every new
// file is first made beside the file it replaces (its staged copy) and the old file is kept (its
// backup); only then are the staged copies renamed into place, one rename each, so that no
// installed file is ever missing or partly written. A journal in the install base says how far
// the upgrade has got, so that the next start of Setup finishes or rolls back a run that was cut
// short.
#pragma once

#include "framework/AfxString.h"
#include "upgrade/Journal.h"

#include <string>
#include <string_view>

// The installed file that journal item `item` names below `installBase`.
CString UpgradedFile(const CString& installBase, int item);

class UpgradeTransaction {
public:
    explicit UpgradeTransaction(const CString& installBase);
    // Rolls back whatever has not been committed.
    ~UpgradeTransaction();
    UpgradeTransaction(const UpgradeTransaction&) = delete;
    UpgradeTransaction& operator=(const UpgradeTransaction&) = delete;

    // Records every file the upgrade changes in the journal, before anything is made. Fails when
    // a journal already exists, or when a name the upgrade would use is taken.
    bool Begin(const std::vector<JournalEntry>& entries);
    // Makes the staged copy of entry `index` from the file `source`, or from `bytes`.
    bool StageCopy(size_t index, const CString& source);
    bool StageBytes(size_t index, std::string_view bytes);
    // Keeps a backup of each destination and puts every staged copy in its place. On failure
    // everything is rolled back.
    bool Commit();

    // What the next start of Setup found of an earlier run.
    enum class Recovery {
        None,       // no journal: no run was cut short
        RolledBack, // a run cut short before it was complete: every installed file is as before
        Completed,  // a run cut short after it was complete: only its end remains (Finish)
        Failed,     // a journal that could not be acted on; it is kept for another attempt
    };
    // Rolls back a run that was cut short, from its journal, or tidies up one that was complete.
    static Recovery Recover(const CString& installBase);
    // Forgets the journal of a complete run, once the run has ended.
    static void Finish(const CString& installBase);

private:
    // Writes the journal, in its first state, in one step: a whole journal or none.
    bool WriteJournal();
    // Takes the journal to its next state: one rename.
    bool MoveJournalTo(JournalState state);
    bool RollBack();

    CString m_installBase;
    Journal m_journal;
    bool m_begun = false;
    bool m_committed = false;
};
