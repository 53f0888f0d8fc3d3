// Puts the payload files over the installed ones. Each copy goes to a
// temporary file beside its destination first and is then moved into place
// in one step, so a destination is either the old file or the new one.
#include "ui/SetupDlg.h"

#include "app/SetupFolder.h"
#include "framework/AfxFile.h"
#include "upgrade/FileSwap.h"

namespace {
// A program asked to quit may still be closing its files.
constexpr int kReplaceAttempts = 4;

bool IsFolder(const CString& path) {
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Copies `source` to a temporary file in `folder` and moves it over
// `destination`. On failure nothing is left behind and the destination is
// unchanged.
bool ReplaceInOneStep(const CString& source, const CString& destination, const CString& folder) {
    if (IsReadOnlyFile(destination))
        return false;
    char temporary[MAX_PATH];
    if (!::GetTempFileNameA(folder, "qup", 0, temporary))
        return false;
    if (::CopyFileA(source, temporary, FALSE) &&
        MoveIntoPlace(temporary, destination, kReplaceAttempts))
        return true;
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
