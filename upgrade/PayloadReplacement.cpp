// Puts the payload files over the installed ones. Each copy goes to a
// temporary file beside its destination first and is then moved into place
// in one step, so a destination is either the old file or the new one.
#include "ui/SetupDlg.h"

#include "app/SetupFolder.h"
#include "framework/AfxFile.h"

namespace {
constexpr int kReplaceAttempts = 4;
constexpr DWORD kRetryDelayMs = 250;

bool IsFolder(const CString& path) {
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether another program holds `path` open: a file in use cannot be opened
// for exclusive writing, and must not be renamed over.
bool InUse(const CString& path) {
    HANDLE h = ::CreateFileA(path, GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return ::GetLastError() != ERROR_FILE_NOT_FOUND;
    ::CloseHandle(h);
    return false;
}

// A read-only file is not overwritten, as a plain copy over it would fail.
// The attribute is checked here because a rename over the file does not
// always honour it (Wine run by the Unix superuser renames over it).
bool IsReadOnly(const CString& path) {
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// Deletes a temporary copy. A copy takes over the payload's attributes, so a
// read-only payload file gives a read-only copy, which must be made writable
// before it can be deleted.
void DiscardTemporary(const char* temporary) {
    ::SetFileAttributesA(temporary, FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(temporary);
}

// Copies `source` to a temporary file in `folder` and moves it over
// `destination`. On failure nothing is left behind and the destination is
// unchanged.
bool ReplaceInOneStep(const CString& source, const CString& destination, const CString& folder) {
    if (IsReadOnly(destination))
        return false;
    char temporary[MAX_PATH];
    if (!::GetTempFileNameA(folder, "qup", 0, temporary))
        return false;
    if (!::CopyFileA(source, temporary, FALSE)) {
        DiscardTemporary(temporary);
        return false;
    }
    for (int attempt = 1;; ++attempt) {
        if (!InUse(destination) &&
            ::MoveFileExA(temporary, destination,
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        if (attempt == kReplaceAttempts)
            break;
        // A program asked to quit may still be closing its files.
        ::Sleep(kRetryDelayMs);
    }
    DiscardTemporary(temporary);
    return false;
}
} // namespace

bool CSetupDlg::FileExists(CString path) {
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

RowOutcome CSetupDlg::CopyPayloadFile(CString source, CString destination, int rule) {
    if (rule != 1 && rule != 3 && rule != 4)
        return RowOutcome::SkippedNotNewer;

    CFileStatus sourceStatus;
    bool sourceRead = CFile::GetStatus(source, sourceStatus) &&
                      !(sourceStatus.m_attribute & FILE_ATTRIBUTE_DIRECTORY);
    CFileStatus destinationStatus;
    bool destinationRead = CFile::GetStatus(destination, destinationStatus);
    if (!sourceRead)
        return RowOutcome::FailedSourceMissing;
    if (!RuleCopies(rule, sourceRead, sourceStatus.m_mtime, destinationRead,
                    destinationStatus.m_mtime))
        return RowOutcome::SkippedNotNewer;

    CString folder = SetupFolderOf(destination);
    if (!IsFolder(folder))
        return RowOutcome::SkippedFolderAbsent;
    return ReplaceInOneStep(source, destination, folder) ? RowOutcome::Replaced
                                                         : RowOutcome::FailedReplace;
}

std::vector<RowOutcome> CSetupDlg::ReplacePayloadFiles(const CString& setupFolder,
                                                       const CString& installBase) {
    std::vector<RowOutcome> outcomes;
    for (const PayloadRow& row : kPayloadRows) {
        // Without the install base every destination would lie below the
        // root of a drive: write nothing at all.
        if (installBase.IsEmpty()) {
            outcomes.push_back(RowOutcome::SkippedNoInstallBase);
            continue;
        }
        CString destination = installBase + row.destination;
        if (row.onlyWhenInstalled && !FileExists(destination)) {
            outcomes.push_back(RowOutcome::SkippedNotInstalled);
            continue;
        }
        CString source = setupFolder + row.source;
        outcomes.push_back(CopyPayloadFile(source, destination, kPayloadRule));
    }
    return outcomes;
}
