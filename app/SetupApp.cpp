#include "SetupApp.h"

#include "SetupFolder.h"
#include "ui/SetupDlg.h"
#include "upgrade/PayloadRules.h"

CSetupApp theApp;

BOOL CSetupApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();

    if (__argc != 2) {
        RunCleanupMode();
        return FALSE;
    }

    CSetupDlg dlg;
    m_pMainWnd = &dlg;
    gModulePath = OwnModulePath();

    dlg.DoModal();

    m_pMainWnd = nullptr;
    // Without a trustworthy path of our own there is no folder we may clean.
    if (gModulePath.IsEmpty())
        return FALSE;
    gModulePath = SetupFolderOf(gModulePath);
    if (gModulePath.IsEmpty())
        return FALSE;
    for (const PayloadRow& row : kPayloadRows)
        ::DeleteFileA(gModulePath + row.source);

    StartSelfRemoval();
    return FALSE;
}
