#include "upgrade/Upgrade.h"

#include "upgrade/AppListRegistration.h"
#include "upgrade/FileOps.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/Transaction.h"

#include <vector>

namespace {
using Kind = FileProbe::Kind;

// Whether the row's paths, and the names kept beside its destination, fit the file functions.
bool RowPathsFit(const CString& source, const CString& destination) {
    return FitsFileFunctions(source) &&
           FitsFileFunctions(StagedPathOf(destination.Str()).c_str()) &&
           FitsFileFunctions(BackupPathOf(destination.Str()).c_str());
}

RowOutcome DecideRow(const PayloadRow& row, const CString& source, const CString& destination) {
    FileProbe installed = ProbeFile(destination);
    FileProbe folder;
    if (installed.kind == Kind::Absent)
        folder = ProbeFile(FolderOf(destination));
    return DecideRow(kPayloadRule, row.onlyWhenInstalled, RowPathsFit(source, destination),
                     ProbeFile(source), installed, folder);
}
} // namespace

UpgradeOutcome CheckInstallBase(const CString& installBase) {
    if (!IsAbsolutePath(installBase.Str()) || !FitsFileFunctions(installBase))
        return UpgradeOutcome::Incomplete;
    FileProbe base = ProbeFile(installBase);
    if (base.kind == Kind::Absent)
        return UpgradeOutcome::NotInstalled;
    if (base.kind != Kind::Folder)
        return UpgradeOutcome::Incomplete;
    for (const PayloadRow& row : kPayloadRows) {
        if (ProbeFile(installBase + row.destination).kind == Kind::File)
            return UpgradeOutcome::Upgraded;
    }
    return UpgradeOutcome::NotInstalled;
}

UpgradeOutcome UpgradeProduct(const CString& setupFolder, const CString& installBase,
                              const char* entry) {
    std::vector<JournalEntry> entries;
    for (int item = 0; item < kPayloadRowCount; ++item) {
        const PayloadRow& row = kPayloadRows[item];
        RowOutcome outcome =
            DecideRow(row, setupFolder + row.source, UpgradedFile(installBase, item));
        if (IsFailure(outcome))
            return UpgradeOutcome::Incomplete;
        if (outcome == RowOutcome::Replaced || outcome == RowOutcome::Added)
            entries.push_back({item, outcome == RowOutcome::Added});
    }
    // A product without a list file has nothing to register.
    CString listPath = AppListPath(installBase);
    FileProbe list = ProbeFile(listPath);
    if (list.kind == Kind::File && !list.readOnly)
        entries.push_back({kListItem, false});
    else if (list.kind != Kind::Absent)
        return UpgradeOutcome::Incomplete;

    UpgradeTransaction transaction(installBase);
    if (!transaction.Begin(entries))
        return UpgradeOutcome::Incomplete;
    for (size_t index = 0; index < entries.size(); ++index) {
        int item = entries[index].item;
        if (item == kListItem) {
            // The list is read last, just before the renames, so that the product has the least
            // time to change it meanwhile.
            AppListContent newList;
            if (!RegisterInAppList(listPath, entry, &newList) ||
                !transaction.StageBytes(index, newList.bytes))
                return UpgradeOutcome::Incomplete;
        } else if (!transaction.StageCopy(index, setupFolder + kPayloadRows[item].source)) {
            return UpgradeOutcome::Incomplete;
        }
    }
    return transaction.Commit() ? UpgradeOutcome::Upgraded : UpgradeOutcome::Incomplete;
}
