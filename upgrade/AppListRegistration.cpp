#include "upgrade/AppListRegistration.h"

#include "upgrade/AppListRewrite.h"
#include "upgrade/FileOps.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/RegReader.h"

namespace {
constexpr char kListFile[] = "\\QuilloHub\\modlist.ini";

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

bool RegisterInAppList(const CString& listPath, const char* entry, std::string* newContent) {
    CFile list;
    if (!OpenList(listPath, list))
        return false;
    std::string oldBytes = ReadWholeFile(list);
    list.Close();

    CString entryName;
    CRegReader().ReadString(kInstallInfoKey, kProductInfoValue, &entryName, HKEY_LOCAL_MACHINE);
    AppListRewrite rewrite = RewriteAppList(oldBytes, entryName.Str(), entry);
    if (rewrite.status != AppListRewrite::Status::Rewritten)
        return false;
    *newContent = std::move(rewrite.bytes);
    return true;
}
