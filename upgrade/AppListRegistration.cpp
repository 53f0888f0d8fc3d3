#include "upgrade/AppListRegistration.h"

#include "upgrade/AppListRewrite.h"
#include "upgrade/FileOps.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/RegReader.h"

namespace {
constexpr char kListFile[] = "\\QuilloHub\\modlist.ini";
// The longest list read, as for any file read whole (ReadWholeFile): a longer one could not be
// held in a 32-bit process anyway.
constexpr unsigned long long kLargestList = 0x7FFFFFFF;

bool IsSharingError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Opens the list under exclusive use, retrying while another program holds it.
bool OpenList(const CString& listPath, CFile& list) {
    CFileException error(listPath, 0);
    return Retry(kFileAttempts,
                 [&] {
                     return list.Open(listPath, CFile::modeRead | CFile::shareExclusive, &error) ||
                            !IsSharingError(error.m_lOsError);
                 }) &&
           list.IsOpen();
}
} // namespace

CString AppListPath(const CString& installBase) {
    return installBase + kListFile;
}

bool RegisterInAppList(const CString& listPath, const char* entry, AppListContent* newContent) {
    // The entry's name is read first: the buffer has room for the whole entry after the old
    // content.
    CString entryName;
    CRegReader().ReadString(kInstallInfoKey, kProductInfoValue, &entryName, HKEY_LOCAL_MACHINE);
    const std::string_view name = entryName.Str();
    const std::string_view text = entry;

    CFile list;
    if (!OpenList(listPath, list))
        return false;
    // The old content is read straight into the buffer the new content is made in, after the
    // room that a longer header needs.
    const unsigned long long length = list.GetLength();
    if (length > kLargestList)
        throw CFileException(listPath, ERROR_FILE_TOO_LARGE);
    const size_t oldLength = static_cast<size_t>(length);
    std::unique_ptr<char[]> buffer(
        new char[kAppListSlack + oldLength + AppListTailRoom(name.size(), text.size())]);
    if (list.Read(buffer.get() + kAppListSlack, static_cast<UINT>(oldLength)) != oldLength)
        throw CFileException(listPath, ERROR_HANDLE_EOF);
    list.Close();

    const AppListRewrite rewrite = RewriteAppList(buffer.get(), oldLength, name, text);
    if (rewrite.status != AppListRewrite::Status::Rewritten)
        return false;
    newContent->bytes = std::string_view(buffer.get() + rewrite.begin, rewrite.end - rewrite.begin);
    newContent->buffer = std::move(buffer);
    return true;
}
