#include "upgrade/ProductTree.h"

#include "upgrade/FileOps.h"

CString ProductTree::WaitingPath(int item, int number) const {
    return WaitingPathOf(Path(item).Str(), number).c_str();
}

ProductCheck ProductTree::Open(const CString& installBase, ProductTree* tree, Result& why) {
    *tree = ProductTree();
    if (!IsAbsolutePath(installBase.Str()) || !FitsFileFunctions(installBase)) {
        why = Failed(installBase, IsAbsolutePath(installBase.Str()) ? ERROR_FILENAME_EXCED_RANGE
                                                                    : ERROR_BAD_PATHNAME);
        return ProductCheck::Unusable;
    }
    const FileProbe base = ProbeFile(installBase);
    if (base.kind == FileProbe::Kind::Absent)
        return ProductCheck::WrongProduct;
    if (base.kind != FileProbe::Kind::Folder) {
        why = Failed(installBase, base.error ? base.error : ERROR_DIRECTORY);
        return ProductCheck::Unusable;
    }
    ProductTree made;
    made.m_base = installBase;
    for (int item = 0; item < kItemCount; ++item) {
        const std::string installed = ItemPath(installBase.Str(), item);
        made.m_paths[item][static_cast<int>(Place::Destination)] = installed;
        made.m_paths[item][static_cast<int>(Place::Staged)] = StagedPathOf(installed);
        made.m_paths[item][static_cast<int>(Place::Backup)] = BackupPathOf(installed);
    }
    for (JournalState state : {JournalState::Committing, JournalState::Committed})
        made.m_journals[static_cast<int>(state)] = installBase + JournalNameOf(state);
    made.m_stagedJournal = StagedPathOf(made.m_journals[0].Str());
    // The longest names an upgrade makes below the install base: each item's staged copy and
    // backup, the staged journal. A product installed where they do not fit cannot be upgraded.
    // (A waiting name, one character longer, that does not fit leaves its old file to the next
    // start of Setup.)
    for (int item = 0; item <= kItemCount; ++item) {
        const CString& longest =
            item < kItemCount ? made.Path(item, Place::Backup) : made.m_stagedJournal;
        if (!FitsFileFunctions(longest)) {
            why = Failed(longest, ERROR_FILENAME_EXCED_RANGE);
            return ProductCheck::Unusable;
        }
    }
    *tree = made;
    for (int item = 0; item < kPayloadRowCount; ++item)
        if (ProbeFile(tree->Path(item)).kind == FileProbe::Kind::File)
            return ProductCheck::Matches;
    return ProductCheck::WrongProduct;
}
