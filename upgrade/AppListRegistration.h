// Registers the upgrade in the installed product's application-list file.
#pragma once

#include "framework/AfxFile.h"

enum class AppListResult {
    Registered,        // the new entry is in the list file
    NothingToRegister, // the product has no list file
    Failed,            // the list file is left exactly as it was
};

// Adds an entry with the text `entry` to "\QuilloHub\modlist.ini" below the
// install base. The new content replaces the file in one step, so a failure
// leaves it unchanged. A file error raises CFileException to the caller.
AppListResult RegisterInAppList(const char* entry);

// The same, writing the new content through `newContent` (not yet open).
AppListResult RegisterInAppList(const char* entry, CFile& newContent);
