#include "upgrade/AppListRegistration.h"

#include "upgrade/AppListRewrite.h"
#include "upgrade/FileOps.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/RegReader.h"

#include <new>

namespace {
// The longest list read: a longer one could not be held in a 32-bit process anyway.
constexpr unsigned long long kLargestList = 0x7FFFFFFF;
} // namespace

Result RegisterInAppList(HANDLE list, const CString& listPath, const char* entry,
                         AppListContent* newContent) {
    // The entry's name is read first: the buffer has room for the whole entry after the old
    // content.
    CString entryName;
    // A missing value leaves the name empty.
    (void)CRegReader().ReadString(kInstallInfoKey, kProductInfoValue, &entryName,
                                  HKEY_LOCAL_MACHINE);
    const std::string_view name = entryName.Str();
    const std::string_view text = entry;

    LARGE_INTEGER length;
    if (!::GetFileSizeEx(list, &length))
        return LastError(listPath);
    if (static_cast<unsigned long long>(length.QuadPart) > kLargestList)
        return Failed(listPath, ERROR_FILE_TOO_LARGE);
    // The old content is read straight into the buffer the new content is made in, after the
    // room that a longer header needs.
    const size_t oldLength = static_cast<size_t>(length.QuadPart);
    std::unique_ptr<char[]> buffer(new (
        std::nothrow) char[kAppListSlack + oldLength + AppListTailRoom(name.size(), text.size())]);
    if (!buffer)
        return Failed(listPath, ERROR_NOT_ENOUGH_MEMORY);
    if (Result read = ReadExactly(list, listPath, buffer.get() + kAppListSlack, oldLength); !read)
        return read;

    const AppListRewrite rewrite = RewriteAppList(buffer.get(), oldLength, name, text);
    if (rewrite.status != AppListRewrite::Status::Rewritten)
        return Failed(listPath, ERROR_FILE_CORRUPT);
    newContent->bytes = std::string_view(buffer.get() + rewrite.begin, rewrite.end - rewrite.begin);
    newContent->buffer = std::move(buffer);
    return {};
}
