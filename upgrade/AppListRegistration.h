// Registration of the upgrade in the installed product's application-list file.
#pragma once

#include "framework/AfxFile.h"

#include <memory>
#include <string_view>

// The list file's new content, made in the one buffer its old content was read into.
struct AppListContent {
    std::unique_ptr<char[]> buffer;
    std::string_view bytes; // the whole new content, inside `buffer`
};

// Reads the list file `listPath` through `list`, which the caller holds so that nothing changes
// the file until its new content is in place, and makes its new content with one entry added: its
// name is the product's "ProductInfo" registry value ("" when it cannot be read), its text is
// `entry`. Fails, naming the list file, when it cannot be read or rewritten (shorter than its
// 16-byte prefix, an entry count that would overflow), or when memory runs out for it.
Result RegisterInAppList(HANDLE list, const CString& listPath, const char* entry,
                         AppListContent* newContent);
