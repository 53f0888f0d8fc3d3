// The upgrade engine: checks where the product is installed, then replaces the payload files and
// registers the upgrade in the product's application list, all or nothing.
#pragma once

#include "framework/AfxString.h"

enum class UpgradeOutcome {
    Upgraded,     // every row that should change changed, and the upgrade is registered
    NotInstalled, // the product is plainly not installed where the registry says
    Incomplete,   // something failed: nothing was changed
};

// What the registry's install base is worth: Upgraded when it is an absolute path to a folder
// that holds at least one of the payload's destination files; NotInstalled when that folder is
// reported absent or holds none of them; Incomplete when the path cannot be used (empty,
// relative, too long, not a folder, or the system cannot look at it).
UpgradeOutcome CheckInstallBase(const CString& installBase);

// Puts the payload files of `setupFolder` over the product's files below `installBase` by the
// newer-or-missing rule and registers `entry` in the product's list file, as one transaction.
// A file error while reading the list raises CFileException after everything was rolled back.
UpgradeOutcome UpgradeProduct(const CString& setupFolder, const CString& installBase,
                              const char* entry);
