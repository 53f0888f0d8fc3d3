#include "app/SetupApp.h"

#include "app/ModulePath.h"
#include "app/OneSetupAtATime.h"
#include "res/resource.h"
#include "ui/SetupDlg.h"
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

CString ReadInstallBase() {
    CString installBase;
    CRegReader().ReadString(kVersionKey, kBasePathValue, &installBase, HKEY_LOCAL_MACHINE);
    return installBase;
}
} // namespace

CSetupApp::CSetupApp() {
    m_fileErrorFormat = IDS_FILE_ERROR;
}

BOOL CSetupApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();

    if (__argc != 2)
        RunCleanupMode();
    else
        RunInstallerMode();
    return FALSE;
}

void CSetupApp::RunInstallerMode() {
    OneSetupAtATime lock;
    if (!lock.IsTheOne()) {
        OneSetupAtATime::ShowTheRunningSetup();
        return;
    }
    gModulePath = OwnModulePath();
    CString setupFolder = FolderOf(gModulePath);

    // An upgrade cut short by a crash is finished or rolled back before anything else.
    CString installBase = ReadInstallBase();
    SetupResult result = SetupResult::Declined;
    switch (UpgradeTransaction::Recover(installBase)) {
    case UpgradeTransaction::Recovery::Failed:
        result = SetupResult::Incomplete;
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
        installBase = dlg.InstallBase();
    }
    }

    // After a failed upgrade everything stays, so that it can be run again. Without a
    // trustworthy path of its own there is no folder Setup may clean.
    if (result == SetupResult::Incomplete || setupFolder.IsEmpty())
        return;
    gModulePath = setupFolder;
    for (const PayloadRow& row : kPayloadRows) {
        CString payload = gModulePath + row.source;
        if (FitsFileFunctions(payload))
            ::DeleteFileA(payload);
    }
    if (result == SetupResult::Upgraded)
        UpgradeTransaction::Finish(installBase);
    StartSelfRemoval();
}
