#include "app/SetupApp.h"

#include "app/ModulePath.h"
#include "app/OneSetupAtATime.h"
#include "app/RunMode.h"
#include "res/resource.h"
#include "ui/SetupDlg.h"
#include "framework/AfxFile.h"
#include "upgrade/FileOps.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/Transaction.h"

CSetupApp theApp;

namespace {
void ShowMessage(UINT id) {
    CString text;
    text.LoadString(id);
    AfxMessageBox(text, MB_OK);
}

int ExitCodeOf(SetupResult result) {
    switch (result) {
    case SetupResult::Upgraded:
        return kExitSuccess;
    case SetupResult::Declined:
        return kExitDeclined;
    case SetupResult::WrongProduct:
        return kExitNotThisProduct;
    default:
        return kExitFailed;
    }
}

// Whether the setup folder is the install base or lies below it: Setup was unpacked into the
// product's own folders, and what lies there is the product's.
bool InInstallTree(const CString& setupFolder, const CString& installBase) {
    return !installBase.IsEmpty() && LiesWithin(setupFolder, installBase);
}
} // namespace

CString CSetupApp::RegisteredInstallBase() {
    CString installBase;
    CRegReader().ReadString(kVersionKey, kBasePathValue, &installBase, HKEY_LOCAL_MACHINE);
    return installBase;
}

CSetupApp::CSetupApp() {
    m_fileErrorFormat = IDS_FILE_ERROR;
}

BOOL CSetupApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();

    switch (RunModeOf(__argc, __argv)) {
    case RunMode::Cleanup:
        RunCleanupMode();
        break;
    case RunMode::Unattended:
        RunUnattended();
        break;
    default:
        RunInstallerMode();
        break;
    }
    return FALSE;
}

void CSetupApp::RunInstallerMode() {
    OneSetupAtATime lock;
    if (!lock.IsTheOne()) {
        // The running Setup speaks for itself; one that cannot be shown is said to run.
        m_exitCode = kExitAnotherSetup;
        if (!OneSetupAtATime::ShowTheRunningSetup())
            ShowMessage(IDS_SETUP_RUNNING);
        return;
    }
    gModulePath = OwnModulePath();
    CString setupFolder = FolderOf(gModulePath);

    // An upgrade cut short by a crash is finished or rolled back before anything else.
    const CString startBase = RegisteredInstallBase();
    CString upgradedBase = startBase; // where the upgrade that completed ran
    SetupResult result = SetupResult::Declined;
    FileError error;
    switch (UpgradeTransaction::Recover(startBase, &error)) {
    case UpgradeTransaction::Recovery::Failed:
        result = SetupResult::Incomplete;
        if (error.code != 0)
            AfxReportFileError(error);
        ShowMessage(IDS_UPGRADE_INCOMPLETE);
        break;
    case UpgradeTransaction::Recovery::Completed:
        result = SetupResult::Upgraded;
        ShowMessage(IDS_UPGRADE_DONE);
        break;
    default: {
        CSetupDlg dlg(setupFolder);
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
        result = dlg.Result();
        if (!dlg.InstallBase().IsEmpty())
            upgradedBase = dlg.InstallBase();
    }
    }
    m_exitCode = ExitCodeOf(result);
    if (result == SetupResult::Upgraded)
        UpgradeTransaction::Finish(upgradedBase);

    // After a failed upgrade everything stays, so that it can be run again. Without a
    // trustworthy path of its own there is no folder Setup may clean, and in the product's own
    // folders there is nothing Setup may delete.
    if (result == SetupResult::Incomplete || setupFolder.IsEmpty() ||
        InInstallTree(setupFolder, startBase) || InInstallTree(setupFolder, upgradedBase))
        return;
    gModulePath = setupFolder;
    for (const PayloadRow& row : kPayloadRows) {
        CString payload = gModulePath + row.source;
        if (FitsFileFunctions(payload))
            ::DeleteFileA(payload);
    }
    StartSelfRemoval();
}
