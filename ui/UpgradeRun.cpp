// "Yes" on the licence dialog: check the installed product, ask its programs to quit, and run the
// upgrade while the copy window plays its clip; then tell the user the outcome.
#include "ui/SetupDlg.h"

#include "framework/AfxApp.h"
#include "res/resource.h"
#include "upgrade/Upgrade.h"

namespace {
UINT MessageOf(SetupResult result) {
    switch (result) {
    case SetupResult::Upgraded:
        return IDS_UPGRADE_DONE;
    case SetupResult::WrongProduct:
        return IDS_WRONG_VERSION;
    default:
        return IDS_UPGRADE_INCOMPLETE;
    }
}
} // namespace

void CSetupDlg::OnOK() {
    // A second "Yes" while the upgrade runs (a message posted to this disabled window, say)
    // must not start it again.
    if (m_started)
        return;
    m_started = true;

    InstalledProduct product;
    const ProductCheck check = CheckInstalledProduct(m_reg, &product);
    m_installBase = product.installBase;
    if (check == ProductCheck::WrongProduct) {
        m_result = SetupResult::WrongProduct;
    } else if (check == ProductCheck::Matches && !m_setupFolder.IsEmpty()) {
        // The result stays Incomplete unless the work completes.
        m_result = SetupResult::Incomplete;
        CloseRunningPrograms();
        SetTimer(kWorkTimer, kWorkTimerMs, nullptr);
        m_copyDlg.DoModal();
        // Should the copy window fail to open, the work must not start later, under the result
        // message.
        KillTimer(kWorkTimer);
    } else {
        m_result = SetupResult::Incomplete;
    }

    // Only a key pressed while the outcome is shown answers it.
    DiscardTypedInput();
    CString text;
    text.LoadString(MessageOf(m_result));
    MessageBox(text, nullptr, MB_OK);
    CDialog::OnOK();
}

void CSetupDlg::CloseRunningPrograms() {
    m_programs.AskToQuit();
}

void CSetupDlg::RunUpgrade() {
    FileError error;
    if (UpgradeProduct(m_setupFolder, m_installBase, kUpgradeEntryText, &error) ==
        UpgradeOutcome::Upgraded) {
        m_result = SetupResult::Upgraded;
        return;
    }
    // Which file stands in the way, and why; nothing to name when memory ran out.
    if (error.code != 0)
        AfxReportFileError(error, m_copyDlg.m_hWnd);
}

void CSetupDlg::OnTimer(UINT_PTR idEvent) {
    // The work starts only once the copy window shows its clip; until then the timer keeps
    // firing.
    if (idEvent == kWorkTimer && m_copyDlg.ShowWithClip()) {
        KillTimer(kWorkTimer);
        // The windows are kept painted and the clip playing meanwhile. Neither dialog ends on a
        // key or a close request while the run works.
        m_programs.WaitForThemToEnd(true);
        RunUpgrade();
        m_copyDlg.EndDialog(0);
    }
    CDialog::OnTimer(idEvent);
}
