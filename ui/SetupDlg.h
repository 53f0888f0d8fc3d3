// The licence dialog, the program's main window: "Yes" accepts the licence, "No" asks whether to
// quit Setup. It stays on the screen while the upgrade runs.
#pragma once

#include "framework/AfxWin.h"

class CSetupDlg : public CDialog {
public:
    explicit CSetupDlg(CWnd* parent = nullptr);

    // The window property that marks the licence dialog as Setup's own, for a second Setup to find.
    static constexpr char kLicenceMark[] = "QuilloSetup.LicenceDialog";

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // "Yes" ends the dialog's loop with IDOK; "No", once confirmed, with IDCANCEL; with -1 when the
    // question cannot be shown. Once answered, the dialog asks nothing more.
    void OnOK() override;
    void OnCancel() override;
    void OnPaint() override;
    void OnSysCommand(UINT id, LPARAM lParam) override;
    HCURSOR OnQueryDragIcon() override;

private:
    CEdit m_license;
    HICON m_hIcon;
    bool m_answered = false;
};
