// The upgrade engine: checks where the product is installed, then replaces the payload files and
// registers the upgrade in the product's application list, all or nothing.
#pragma once

#include "framework/AfxFile.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/ProductTree.h"

// What the registry says of the installed product, read once at the start of a run, and the
// product's tree derived once from its install base.
struct InstalledProduct {
    CString version;     // "CurrentVersion"; "" when it cannot be read
    CString installBase; // "BasePath"; "" when it cannot be read
    ProductTree tree;    // below the install base; empty when that is no usable folder
    ProductCheck where = ProductCheck::Unusable; // what the install base is worth
    Result unusable; // why it is unusable: the install base (or the registry value) and why
};
InstalledProduct ReadInstalledProduct();

// Compares the installed version with "4.501" byte for byte; when it matches, what the install
// base is worth. When it is unusable, `why` names it and why.
ProductCheck CheckInstalledProduct(const InstalledProduct& product, Result& why);

// Whoever runs the upgrade, kept informed while the engine works.
class UpgradeWatcher {
public:
    virtual ~UpgradeWatcher() = default;
    // Called again and again while the engine waits or works, so that windows keep painting.
    virtual void KeepResponsive() {}
    // A decision taken or a step done, as the log says it.
    virtual void Note(const CString& /*line*/) {}
};

// The entry text the upgrade registers in the application list.
constexpr char kUpgradeEntryText[] = "Pack07up02.exe";

// What the run learns of an upgrade beyond its result.
struct UpgradeReport {
    bool listFound = false; // the product has a list file
    Result rollBack;        // after a failure: whether what the upgrade began was rolled back
};

// Puts the payload files of `setupFolder` over the product's files in `tree` by the
// newer-or-missing rule and registers `entry` in the product's list file, as one transaction. A
// failure names the file that stands in the way and the system's reason; what the upgrade began is
// then rolled back (report->rollBack says whether that succeeded). `report` receives whether the
// product has a list and how the roll-back went; `watcher` is told each decision and kept
// responsive.
Result UpgradeProduct(const CString& setupFolder, const ProductTree& tree, const char* entry,
                      UpgradeReport* report, UpgradeWatcher* watcher);
