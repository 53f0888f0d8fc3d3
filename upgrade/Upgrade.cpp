#include "upgrade/Upgrade.h"

#include "upgrade/AppListRegistration.h"
#include "upgrade/FileOps.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/Transaction.h"

#include <vector>

namespace {
using Kind = FileProbe::Kind;

struct PlannedRow {
    CString source;
    CString destination;
    RowOutcome outcome;
};

// Whether the row's paths, and the names kept beside its destination, fit the file functions.
bool RowPathsFit(const CString& source, const CString& destination) {
    return FitsFileFunctions(source) &&
           FitsFileFunctions(StagedPathOf(destination.Str()).c_str()) &&
           FitsFileFunctions(BackupPathOf(destination.Str()).c_str());
}

PlannedRow PlanRow(const PayloadRow& row, const CString& setupFolder, const CString& installBase) {
    PlannedRow planned{setupFolder + row.source, installBase + row.destination,
                       RowOutcome::SkippedNotNewer};
    bool fit = RowPathsFit(planned.source, planned.destination);
    FileProbe destination = ProbeFile(planned.destination);
    FileProbe folder;
    if (destination.kind == Kind::Absent)
        folder = ProbeFile(FolderOf(planned.destination));
    planned.outcome = DecideRow(kPayloadRule, row.onlyWhenInstalled, fit, ProbeFile(planned.source),
                                destination, folder);
    return planned;
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
    std::vector<PlannedRow> rows;
    std::vector<JournalEntry> entries;
    for (const PayloadRow& row : kPayloadRows) {
        rows.push_back(PlanRow(row, setupFolder, installBase));
        RowOutcome outcome = rows.back().outcome;
        if (IsFailure(outcome))
            return UpgradeOutcome::Incomplete;
        if (outcome == RowOutcome::Replaced || outcome == RowOutcome::Added)
            entries.push_back({rows.back().destination.Str(), outcome == RowOutcome::Added});
    }
    // A product without a list file has nothing to register.
    CString listPath = AppListPath(installBase);
    FileProbe list = ProbeFile(listPath);
    if (list.kind == Kind::File && !list.readOnly)
        entries.push_back({listPath.Str(), false});
    else if (list.kind != Kind::Absent)
        return UpgradeOutcome::Incomplete;

    UpgradeTransaction transaction(installBase);
    if (!transaction.Begin(entries))
        return UpgradeOutcome::Incomplete;
    size_t index = 0;
    for (const PlannedRow& row : rows) {
        if (row.outcome != RowOutcome::Replaced && row.outcome != RowOutcome::Added)
            continue;
        if (!transaction.StageCopy(index++, row.source))
            return UpgradeOutcome::Incomplete;
    }
    // The list is read last, just before the renames, so that the product has the least time
    // to change it meanwhile.
    if (index < entries.size()) {
        std::string newList;
        if (!RegisterInAppList(listPath, entry, &newList) ||
            !transaction.StageBytes(index, newList))
            return UpgradeOutcome::Incomplete;
    }
    return transaction.Commit() ? UpgradeOutcome::Upgraded : UpgradeOutcome::Incomplete;
}
