// Registration of the upgrade in the installed product's application-list file.
#pragma once

#include "framework/AfxString.h"

#include <memory>
#include <string_view>

// The list file below the install base: "\QuilloHub\modlist.ini".
CString AppListPath(const CString& installBase);

// The list file's new content, made in the one buffer its old content was read into.
struct AppListContent {
    std::unique_ptr<char[]> buffer;
    std::string_view bytes; // the whole new content, inside `buffer`
};

// The new content of the list file at `listPath` with one entry added: its name is the product's
// "ProductInfo" registry value ("" when it cannot be read), its text is `entry`. Reads the file
// under exclusive use, waiting a while for a program that holds it. False when the file cannot be
// opened or rewritten (shorter than its 16-byte prefix, an entry count that would overflow). A
// read error raises CFileException naming the list file.
bool RegisterInAppList(const CString& listPath, const char* entry, AppListContent* newContent);
