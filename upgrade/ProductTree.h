// The installed product's folder and every name Setup uses below it, derived once from the
// registry's install base and checked once: an absolute path to a folder, every name below it one
// that the 8-bit file functions take whole.
#pragma once

#include "framework/AfxFile.h"
#include "upgrade/Recovery.h"

enum class [[nodiscard]] ProductCheck{
    Matches,      // a usable install base that holds at least one of the payload's destination
                  // files (and, with the version, "4.501")
    WrongProduct, // the install base is reported absent or holds none of the product's files:
                  // plainly not installed there (or another version)
    Unusable,     // the install base cannot be used: empty, relative, too long for a name below
                  // it, not a folder, or the system cannot look at it
};

class ProductTree {
public:
    // Derives every name below `installBase` into `tree` and says what the install base is
    // worth; `why` names what makes it unusable. The tree is usable (Exists) wherever the
    // install base is a usable folder, whether or not it holds the product's files: an upgrade
    // cut short may have left its files there all the same.
    static ProductCheck Open(const CString& installBase, ProductTree* tree, Result& why);

    // Whether the install base is a usable folder; an empty tree names nothing.
    bool Exists() const { return !m_base.IsEmpty(); }
    const CString& Base() const { return m_base; }
    // Item `item`'s installed file, its staged copy or its backup.
    const CString& Path(int item, Place place = Place::Destination) const {
        return m_paths[item][static_cast<int>(place)];
    }
    const CString& JournalPath(JournalState state) const {
        return m_journals[static_cast<int>(state)];
    }
    const CString& StagedJournalPath() const { return m_stagedJournal; }
    // Name `number` (1 to kWaitingNames) that item `item`'s old file, still in use, may wait under
    // for the next restart.
    CString WaitingPath(int item, int number) const;

private:
    CString m_base;
    CString m_paths[kItemCount][3];
    CString m_journals[2];
    CString m_stagedJournal;
};
