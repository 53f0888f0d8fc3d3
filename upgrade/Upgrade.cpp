#include "upgrade/Upgrade.h"

#include "upgrade/AppListRegistration.h"
#include "upgrade/FileOps.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/PayloadDigests.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/Transaction.h"

#include <mbstring.h>
#include <vector>

namespace {
using Kind = FileProbe::Kind;

// Whether the row's paths, and the names kept beside its destination, fit the file functions.
bool RowPathsFit(const CString& source, const CString& destination) {
    return FitsFileFunctions(source) &&
           FitsFileFunctions(StagedPathOf(destination.Str()).c_str()) &&
           FitsFileFunctions(BackupPathOf(destination.Str()).c_str());
}

// The released payload file of row `item`, when this build fixes its payload.
const PayloadDigest* Released(int item) {
    return kPayloadFixed ? &kPayloadDigests[item] : nullptr;
}

// What becomes of one row; a failure names the file that stands in the way and why.
RowOutcome DecideRow(int item, const CString& source, const CString& destination,
                     FileError* error) {
    const PayloadRow& row = kPayloadRows[item];
    FileProbe installed = ProbeFile(destination);
    FileProbe folder;
    if (installed.kind == Kind::Absent)
        folder = ProbeFile(FolderOf(destination));
    FileProbe payload = ProbeFile(source);
    RowOutcome outcome = DecideRow(kPayloadRule, row.onlyWhenInstalled,
                                   RowPathsFit(source, destination), payload, installed, folder);
    // A payload file of another size than the released one is refused before anything is made.
    if (Released(item) && payload.kind == Kind::File && payload.size != Released(item)->size &&
        (outcome == RowOutcome::Replaced || outcome == RowOutcome::Added))
        outcome = RowOutcome::FailedSourceDamaged;
    switch (outcome) {
    case RowOutcome::FailedSourceMissing:
        *error = {source, payload.error ? payload.error : ERROR_FILE_NOT_FOUND};
        break;
    case RowOutcome::FailedSourceDamaged:
        *error = {source, ERROR_FILE_CORRUPT};
        break;
    case RowOutcome::FailedUnreadable:
        *error =
            installed.kind == Kind::Absent
                ? FileError{FolderOf(destination), folder.error ? folder.error : ERROR_DIRECTORY}
                : FileError{destination, installed.error ? installed.error : ERROR_DIRECTORY};
        break;
    case RowOutcome::FailedPathTooLong:
        *error = {destination, ERROR_FILENAME_EXCED_RANGE};
        break;
    default:
        break;
    }
    return outcome;
}
} // namespace

ProductCheck CheckInstalledProduct(CRegReader& reg, InstalledProduct* found) {
    reg.ReadString(kVersionKey, kCurrentVersionValue, &found->version, HKEY_LOCAL_MACHINE);
    if (_mbscmp(reinterpret_cast<const unsigned char*>(static_cast<const char*>(found->version)),
                reinterpret_cast<const unsigned char*>(kRequiredVersion)) != 0)
        return ProductCheck::WrongProduct;
    reg.ReadString(kVersionKey, kBasePathValue, &found->installBase, HKEY_LOCAL_MACHINE);
    switch (CheckInstallBase(found->installBase)) {
    case InstallBaseCheck::Usable:
        return ProductCheck::Matches;
    case InstallBaseCheck::NotInstalled:
        return ProductCheck::WrongProduct;
    default:
        return ProductCheck::Unusable;
    }
}

InstallBaseCheck CheckInstallBase(const CString& installBase) {
    if (!IsAbsolutePath(installBase.Str()) || !FitsFileFunctions(installBase))
        return InstallBaseCheck::Unusable;
    FileProbe base = ProbeFile(installBase);
    if (base.kind == Kind::Absent)
        return InstallBaseCheck::NotInstalled;
    if (base.kind != Kind::Folder)
        return InstallBaseCheck::Unusable;
    for (const PayloadRow& row : kPayloadRows) {
        if (ProbeFile(installBase + row.destination).kind == Kind::File)
            return InstallBaseCheck::Usable;
    }
    return InstallBaseCheck::NotInstalled;
}

UpgradeOutcome UpgradeProduct(const CString& setupFolder, const CString& installBase,
                              const char* entry, FileError* error, UpgradeReport* report) {
    UpgradeReport unused;
    if (!report)
        report = &unused;
    std::vector<JournalEntry> entries;
    for (int item = 0; item < kPayloadRowCount; ++item) {
        RowOutcome outcome = DecideRow(item, setupFolder + kPayloadRows[item].source,
                                       CString(ItemPath(installBase.Str(), item)), error);
        report->rows[report->rowsDecided++] = outcome;
        if (IsFailure(outcome))
            return UpgradeOutcome::Incomplete;
        if (outcome == RowOutcome::Replaced || outcome == RowOutcome::Added)
            entries.push_back({item, outcome == RowOutcome::Added});
    }

    // The list is held from the moment it is read until its new content is in place, so that no
    // other program changes it meanwhile. A product without a list file has nothing to register.
    CString listPath = ItemPath(installBase.Str(), kListItem).c_str();
    FileProbe list = ProbeFile(listPath);
    FileHandle heldList;
    AppListContent newList;
    report->listFound = list.kind == Kind::File;
    if (list.kind == Kind::File) {
        if (!HoldFile(listPath, &heldList, error) ||
            !RegisterInAppList(heldList.Get(), listPath, entry, &newList, error))
            return UpgradeOutcome::Incomplete;
        entries.push_back({kListItem, false});
    } else if (list.kind != Kind::Absent) {
        *error = {listPath, list.error ? list.error : ERROR_DIRECTORY};
        return UpgradeOutcome::Incomplete;
    }

    UpgradeTransaction transaction(installBase);
    if (!transaction.Begin(entries, error))
        return UpgradeOutcome::Incomplete;
    for (size_t index = 0; index < entries.size(); ++index) {
        int item = entries[index].item;
        if (item == kListItem) {
            transaction.Hold(index, std::move(heldList));
            if (!transaction.StageBytes(index, newList.bytes, error))
                return UpgradeOutcome::Incomplete;
        } else if (!transaction.StageCopy(index, setupFolder + kPayloadRows[item].source,
                                          Released(item), error)) {
            return UpgradeOutcome::Incomplete;
        }
    }
    return transaction.Commit(error) ? UpgradeOutcome::Upgraded : UpgradeOutcome::Incomplete;
}
