// The upgrade engine: checks where the product is installed, then replaces the payload files and
// registers the upgrade in the product's application list, all or nothing.
#pragma once

#include "framework/AfxFile.h"

// What the registry's install base is worth.
enum class InstallBaseCheck {
    Usable,       // an absolute path to a folder that holds at least one of the payload's
                  // destination files
    NotInstalled, // that folder is reported absent, or holds none of them
    Unusable,     // the path cannot be used: empty, relative, too long, not a folder, or the
                  // system cannot look at it
};
InstallBaseCheck CheckInstallBase(const CString& installBase);

enum class UpgradeOutcome {
    Upgraded,   // every row that should change changed, and the upgrade is registered
    Incomplete, // something failed: nothing was changed
};

// Puts the payload files of `setupFolder` over the product's files below `installBase` by the
// newer-or-missing rule and registers `entry` in the product's list file, as one transaction.
// When it is incomplete because of a file, `error` names the file and the system's reason (its
// code is 0 when memory ran out).
UpgradeOutcome UpgradeProduct(const CString& setupFolder, const CString& installBase,
                              const char* entry, FileError* error);
