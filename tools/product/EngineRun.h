// What a run of Setup does around the engine, for the engine's tests and benchmarks that call it
// directly: the product's tree derived from an install base, and the end of a complete run.
#pragma once

#include "upgrade/Transaction.h"
#include "upgrade/Upgrade.h"

#include <string>
#include <vector>

namespace product {

// The product's tree below `installBase`, as a run derives it (empty where it is unusable).
inline ProductTree TreeAt(const std::string& installBase) {
    ProductTree tree;
    Result why;
    (void)ProductTree::Open(installBase.c_str(), &tree, why);
    return tree;
}
// The engine's upgrade with nobody to tell or keep responsive; `report` when given.
inline Result UpgradeAlone(const CString& setupFolder, const ProductTree& tree, const char* entry,
                           UpgradeReport* report = nullptr) {
    UpgradeReport unused;
    UpgradeWatcher nobody;
    return UpgradeProduct(setupFolder, tree, entry, report ? report : &unused, &nobody);
}
// What the end of a complete run deletes: its backups and its journal.
inline void FinishRun(const std::string& installBase) {
    std::vector<CString> waiting;
    (void)UpgradeTransaction::Finish(TreeAt(installBase), Finishing::BackupsAndJournal, &waiting);
}

} // namespace product
