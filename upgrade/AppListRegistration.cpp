#include "upgrade/AppListRegistration.h"

#include "app/SetupFolder.h"
#include "upgrade/AppListRewrite.h"
#include "upgrade/FileSwap.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/RegReader.h"

#include <string>

namespace {
constexpr char kListFile[] = "\\QuilloHub\\modlist.ini";
constexpr int kOpenAttempts = 8;
constexpr DWORD kRetryDelayMs = 250;

bool IsSharingError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Deletes the temporary file unless it has been put in place. The file
// object writing it is closed first when an error left it open: an open
// handle without sharing keeps the file from being deleted.
class TemporaryFile {
public:
    TemporaryFile(const char* path, CFile& writer) : m_path(path), m_writer(writer) {}
    ~TemporaryFile() {
        if (m_kept)
            return;
        if (m_writer.IsOpen()) {
            // The framework's own Close, not an override, releases the handle; an error on
            // the way changes nothing, since the file is deleted anyway.
            try {
                m_writer.CFile::Close();
            } catch (const CFileException&) {
            }
        }
        DiscardTemporary(m_path);
    }
    void Keep() { m_kept = true; }
    const CString& Path() const { return m_path; }

private:
    CString m_path;
    CFile& m_writer;
    bool m_kept = false;
};
} // namespace

AppListResult RegisterInAppList(const char* entry) {
    CFile newContent;
    return RegisterInAppList(entry, newContent);
}

AppListResult RegisterInAppList(const char* entry, CFile& newContent) {
    CRegReader reader;
    CString installBase;
    reader.ReadString(kInstallInfoKey, kBasePathValue, &installBase, HKEY_LOCAL_MACHINE);
    if (installBase.IsEmpty())
        return AppListResult::Failed;
    CString listPath = installBase + kListFile;

    if (IsReadOnlyFile(listPath))
        return AppListResult::Failed;

    // Exclusive use keeps other writers out while the file is read and replaced.
    CFile list;
    CFileException openError(listPath, 0);
    for (int attempt = 1;; ++attempt) {
        if (list.Open(listPath, CFile::modeReadWrite | CFile::shareExclusive, &openError))
            break;
        DWORD error = openError.m_lOsError;
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return AppListResult::NothingToRegister;
        if (!IsSharingError(error) || attempt == kOpenAttempts)
            return AppListResult::Failed;
        ::Sleep(kRetryDelayMs);
    }

    unsigned long long length = list.GetLength();
    if (length > 0x7FFFFFFFull)
        return AppListResult::Failed;
    std::string oldBytes(static_cast<size_t>(length), '\0');
    UINT read = list.Read(&oldBytes[0], static_cast<UINT>(length));
    oldBytes.resize(read);

    CString entryName;
    reader.ReadString(kInstallInfoKey, kProductInfoValue, &entryName, HKEY_LOCAL_MACHINE);
    AppListRewrite rewrite = RewriteAppList(oldBytes, entryName.Str(), entry);
    if (rewrite.status != AppListRewrite::Status::Rewritten)
        return AppListResult::Failed;

    // The new content goes to a temporary file beside the list, is flushed,
    // and then takes the list's place in one step.
    char temporaryPath[MAX_PATH];
    if (!::GetTempFileNameA(SetupFolderOf(listPath), "mod", 0, temporaryPath))
        return AppListResult::Failed;
    TemporaryFile temporary(temporaryPath, newContent);
    if (!newContent.Open(temporary.Path(), CFile::modeWrite | CFile::shareExclusive |
                                               CFile::modeCreate | CFile::modeNoInherit))
        return AppListResult::Failed;
    try {
        newContent.Write(rewrite.bytes.data(), static_cast<UINT>(rewrite.bytes.size()));
        newContent.Flush();
        newContent.Close();
    } catch (const CFileException& error) {
        // The user knows the list file, not our temporary file beside it.
        throw CFileException(listPath, error.m_lOsError);
    }

    list.Close();
    // One rename puts the new content in place: there is no moment without a
    // complete list file, and no backup file to leave behind.
    if (!MoveIntoPlace(temporary.Path(), listPath, kOpenAttempts))
        return AppListResult::Failed;
    temporary.Keep();
    return AppListResult::Registered;
}
