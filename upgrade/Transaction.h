// An upgrade's changes to installed files as one unit: all of them happen, or none. Every new
// file is first made beside the file it replaces (its staged copy); then, with every installed
// file it replaces held so that no other program can open it, a journal is written, and each
// installed file is renamed to its backup name and its staged copy renamed into its place. The
// journal says what the files beside the installed ones cannot, so that the next start of Setup
// finishes or rolls back a run that was cut short (Recovery.h).
#pragma once

#include "framework/AfxFile.h"
#include "framework/Handles.h"
#include "upgrade/Journal.h"
#include "upgrade/NewFile.h"
#include "upgrade/PayloadDigests.h"
#include "upgrade/ProductTree.h"
#include "upgrade/Recovery.h"

#include <string_view>
#include <vector>

class UpgradeTransaction {
public:
    explicit UpgradeTransaction(const ProductTree& tree) : m_tree(tree) {}
    UpgradeTransaction(const UpgradeTransaction&) = delete;
    UpgradeTransaction& operator=(const UpgradeTransaction&) = delete;

    // Takes the files the upgrade changes (their items and whether each is added). Fails when a
    // name the upgrade makes beside an installed file is taken, or too long.
    Result Begin(const std::vector<JournalEntry>& entries);
    // Keeps holding entry `index`'s installed file, opened by the caller with HoldFile, until it
    // is renamed away.
    void Hold(size_t index, FileHandle held);
    // Makes the staged copy of entry `index` from the file `source` (which must be exactly the
    // file `expected` describes, when given), or from `bytes`.
    Result StageCopy(size_t index, const CString& source, const PayloadDigest* expected);
    Result StageBytes(size_t index, std::string_view bytes);
    // Holds every installed file the upgrade replaces (waiting a while for programs that hold
    // them), writes the journal and puts every staged copy in its place.
    Result Commit();
    // After a step that failed: puts every installed file back as it was and deletes what the
    // transaction made. Its failure (a file held by another program, say) leaves what the next
    // start of Setup rolls back.
    Result RollBack();

    // Rolls back a run that was cut short, or tidies up one that was complete; `found` says which
    // (Completed: only its end remains, Finish). A failure names the file that could not be acted
    // on; the next start tries again. An old file still in use is left to the next restart
    // (Finish): `waiting` receives its name.
    static Result Recover(const ProductTree& tree, RecoveryPlan::Outcome* found,
                          std::vector<CString>* waiting);
    // Deletes what a complete run no longer needs (`what`). An old file still in use (a running
    // program's) is deleted at the next restart, under a name the recovery leaves alone: `waiting`
    // receives that name. A failure names what could be neither deleted nor left to the restart;
    // the next start finishes it.
    static Result Finish(const ProductTree& tree, Finishing what, std::vector<CString>* waiting);

private:
    Result WriteJournal();

    const ProductTree m_tree;
    Journal m_journal;
    FileHandle m_held[kItemCount]; // the installed files held, by item
    NewFile m_staged[kItemCount];  // the staged copies, flushed while the next is copied
    FileHandle m_journalFile;      // the journal, held from its making
    bool m_begun = false;
    bool m_committed = false;
};
