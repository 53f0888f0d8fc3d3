// The upgrade engine: checks where the product is installed, then replaces the payload files and
// registers the upgrade in the product's application list, all or nothing.
#pragma once

#include "framework/AfxFile.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/RegReader.h"

// What the registry says of the installed product.
struct InstalledProduct {
    CString version;     // "CurrentVersion"; "" when it cannot be read
    CString installBase; // "BasePath"; "" when it cannot be read
};

enum class ProductCheck {
    Matches,      // version "4.501", installed in a usable install base
    WrongProduct, // another version, or plainly not installed where the registry says
    Unusable,     // the install base cannot be used (see CheckInstallBase)
};
// Reads the installed version with `reg` and compares it with "4.501" byte for byte; when it
// matches, reads and checks the install base.
ProductCheck CheckInstalledProduct(CRegReader& reg, InstalledProduct* found);

// What the registry's install base is worth.
enum class InstallBaseCheck {
    Usable,       // an absolute path to a folder that holds at least one of the payload's
                  // destination files
    NotInstalled, // that folder is reported absent, or holds none of them
    Unusable,     // the path cannot be used: empty, relative, too long, not a folder, or the
                  // system cannot look at it
};
InstallBaseCheck CheckInstallBase(const CString& installBase);

// The entry text the upgrade registers in the application list.
constexpr char kUpgradeEntryText[] = "Pack07up02.exe";

enum class UpgradeOutcome {
    Upgraded,   // every row that should change changed, and the upgrade is registered
    Incomplete, // something failed: nothing was changed
};

// What became of each part of an upgrade, as far as it got.
struct UpgradeReport {
    int rowsDecided = 0; // rows[0 .. rowsDecided) hold decisions
    RowOutcome rows[kPayloadRowCount] = {};
    bool listFound = false; // the product has a list file
};

// Puts the payload files of `setupFolder` over the product's files below `installBase` by the
// newer-or-missing rule and registers `entry` in the product's list file, as one transaction.
// When it is incomplete because of a file, `error` names the file and the system's reason (its
// code is 0 when memory ran out). `report`, when given, receives what became of each part.
UpgradeOutcome UpgradeProduct(const CString& setupFolder, const CString& installBase,
                              const char* entry, FileError* error, UpgradeReport* report = nullptr);
