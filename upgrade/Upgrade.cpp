#include "upgrade/Upgrade.h"

#include "upgrade/AppListRegistration.h"
#include "upgrade/FileOps.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/PayloadDigests.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/RegReader.h"
#include "upgrade/Transaction.h"

#include <mbstring.h>
#include <vector>

namespace {
using Kind = FileProbe::Kind;

// What the log says of a row's outcome; every outcome names its own text, so none can take
// another's.
const char* DecisionText(RowOutcome outcome) {
    switch (outcome) {
    case RowOutcome::Replaced:
        return "replace (the payload file is newer)";
    case RowOutcome::Added:
        return "add (not installed, its folder is there)";
    case RowOutcome::SkippedNotNewer:
        return "up to date (the installed file is as new as the payload file, or newer)";
    case RowOutcome::SkippedNotInstalled:
        return "not installed (this file is only ever replaced)";
    case RowOutcome::SkippedFolderAbsent:
        return "not installed (its folder is absent)";
    case RowOutcome::FailedSourceMissing:
        return "failed: the payload file is missing";
    case RowOutcome::FailedSourceDamaged:
        return "failed: the payload file is damaged, or not the released one";
    case RowOutcome::FailedUnreadable:
        return "failed: the installed file or its folder cannot be examined";
    case RowOutcome::FailedPathTooLong:
        return "failed: a path is too long";
    }
    return "";
}

// The released payload file of row `item`, when this build fixes its payload.
const PayloadDigest* Released(int item) {
    return kPayloadFixed ? &kPayloadDigests[item] : nullptr;
}

// What becomes of one row; a failure names the file that stands in the way and why.
RowOutcome DecideRow(int item, const CString& source, const CString& destination, Result* why) {
    const PayloadRow& row = kPayloadRows[item];
    FileProbe installed = ProbeFile(destination);
    FileProbe folder;
    if (installed.kind == Kind::Absent)
        folder = ProbeFile(FolderOf(destination));
    FileProbe payload = ProbeFile(source);
    // The product's tree holds only names that fit the file functions; the payload's may not.
    RowOutcome outcome = DecideRow(kPayloadRule, row.onlyWhenInstalled, FitsFileFunctions(source),
                                   payload, installed, folder);
    // A payload file of another size than the released one is refused before anything is made.
    if (Released(item) && payload.kind == Kind::File && payload.size != Released(item)->size &&
        (outcome == RowOutcome::Replaced || outcome == RowOutcome::Added))
        outcome = RowOutcome::FailedSourceDamaged;
    switch (outcome) {
    case RowOutcome::FailedSourceMissing:
        *why = Failed(source, payload.error ? payload.error : ERROR_FILE_NOT_FOUND);
        break;
    case RowOutcome::FailedSourceDamaged:
        *why = Failed(source, ERROR_FILE_CORRUPT);
        break;
    case RowOutcome::FailedUnreadable:
        *why = installed.kind == Kind::Absent
                   ? Failed(FolderOf(destination), folder.error ? folder.error : ERROR_DIRECTORY)
                   : Failed(destination, installed.error ? installed.error : ERROR_DIRECTORY);
        break;
    case RowOutcome::FailedPathTooLong:
        *why = Failed(destination, ERROR_FILENAME_EXCED_RANGE);
        break;
    default:
        break;
    }
    return outcome;
}

// Stages every changed file beside the file it replaces, then puts all of them in place.
Result PutInPlace(UpgradeTransaction& transaction, const std::vector<JournalEntry>& entries,
                  const CString& setupFolder, FileHandle heldList, std::string_view newList,
                  UpgradeWatcher& watcher) {
    if (Result begun = transaction.Begin(entries); !begun)
        return begun;
    for (size_t index = 0; index < entries.size(); ++index) {
        const int item = entries[index].item;
        Result staged;
        if (item == kListItem) {
            transaction.Hold(index, std::move(heldList));
            staged = transaction.StageBytes(index, newList);
        } else {
            staged = transaction.StageCopy(index, setupFolder + kPayloadRows[item].source,
                                           Released(item));
        }
        if (!staged)
            return staged;
        watcher.KeepResponsive();
    }
    return transaction.Commit();
}
} // namespace

InstalledProduct ReadInstalledProduct() {
    // A value that cannot be read stays "", which the check takes for what it is.
    InstalledProduct product;
    CRegReader reg;
    (void)reg.ReadString(kVersionKey, kCurrentVersionValue, &product.version, HKEY_LOCAL_MACHINE);
    (void)reg.ReadString(kVersionKey, kBasePathValue, &product.installBase, HKEY_LOCAL_MACHINE);
    product.where = ProductTree::Open(product.installBase, &product.tree, product.unusable);
    // No install base at all: the registry value is what is missing.
    if (product.installBase.IsEmpty())
        product.unusable =
            Failed(CString("HKEY_LOCAL_MACHINE\\") + kVersionKey + "\\" + kBasePathValue,
                   ERROR_BAD_PATHNAME);
    return product;
}

ProductCheck CheckInstalledProduct(const InstalledProduct& product, Result& why) {
    if (_mbscmp(reinterpret_cast<const unsigned char*>(static_cast<const char*>(product.version)),
                reinterpret_cast<const unsigned char*>(kRequiredVersion)) != 0)
        return ProductCheck::WrongProduct;
    why = product.unusable;
    return product.where;
}

Result UpgradeProduct(const CString& setupFolder, const ProductTree& tree, const char* entry,
                      UpgradeReport* report, UpgradeWatcher* watcher) {
    std::vector<JournalEntry> entries;
    for (int item = 0; item < kPayloadRowCount; ++item) {
        Result why;
        RowOutcome outcome =
            DecideRow(item, setupFolder + kPayloadRows[item].source, tree.Path(item), &why);
        char number[16];
        wsprintfA(number, "Row %d, ", item + 1);
        watcher->Note(number + CString(kPayloadRows[item].destination) + ": " +
                      DecisionText(outcome));
        if (IsFailure(outcome))
            return why;
        if (outcome == RowOutcome::Replaced || outcome == RowOutcome::Added)
            entries.push_back({item, outcome == RowOutcome::Added});
    }

    // The list is held from the moment it is read until its new content is in place, so that no
    // other program changes it meanwhile. A product without a list file has nothing to register.
    const CString& listPath = tree.Path(kListItem);
    FileProbe list = ProbeFile(listPath);
    FileHandle heldList;
    AppListContent newList;
    report->listFound = list.kind == Kind::File;
    watcher->Note(report->listFound ? "Registration in the application list: prepared"
                                    : "No application list: nothing to register");
    if (list.kind == Kind::File) {
        if (Result held = HoldFile(listPath, &heldList); !held)
            return held;
        if (Result made = RegisterInAppList(heldList.Get(), listPath, entry, &newList); !made)
            return made;
        entries.push_back({kListItem, false});
    } else if (list.kind != Kind::Absent) {
        return Failed(listPath, list.error ? list.error : ERROR_DIRECTORY);
    }

    UpgradeTransaction transaction(tree);
    Result done =
        PutInPlace(transaction, entries, setupFolder, std::move(heldList), newList.bytes, *watcher);
    if (!done)
        report->rollBack = transaction.RollBack();
    return done;
}
