// The licence dialog, the program's main window: "Yes" runs the upgrade,
// "No" asks whether to quit Setup.
#pragma once

#include "CopyDlg.h"
#include "framework/AfxWin.h"
#include "upgrade/PayloadRules.h"
#include "upgrade/RegReader.h"
#include "framework/Handles.h"

#include <vector>

class CSetupDlg : public CDialog {
public:
    explicit CSetupDlg(CWnd* parent = nullptr);

    static constexpr UINT_PTR kWorkTimer = 100;
    static constexpr UINT kWorkTimerMs = 100;

    // Puts the payload files of `setupFolder` over the installed ones below
    // `installBase`; returns what happened to each row, in table order.
    static std::vector<RowOutcome> ReplacePayloadFiles(const CString& setupFolder,
                                                       const CString& installBase);
    static RowOutcome CopyPayloadFile(CString source, CString destination, int rule);
    // Whether `path` names an existing file (its attributes can be read).
    static bool FileExists(CString path);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR idEvent) override;
    void OnPaint() override;
    void OnSysCommand(UINT id, LPARAM lParam) override;
    HCURSOR OnQueryDragIcon() override;

private:
    void CloseRunningPrograms();
    // Waits, keeping the windows responsive, until the asked programs have ended.
    void WaitForProgramsToEnd();

    CEdit m_license;
    HICON m_hIcon;
    CRegReader m_reg;
    CCopyDlg m_copyDlg;

    std::vector<ProcessHandle> m_askedProcesses;
    bool m_upgradeSucceeded = false;
};
