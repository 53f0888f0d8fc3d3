// The licence dialog, the program's main window: "Yes" runs the upgrade, "No" asks whether to
// quit Setup.
#pragma once

#include "CopyDlg.h"
#include "framework/AfxWin.h"
#include "upgrade/RegReader.h"
#include "upgrade/RunningPrograms.h"

// How the licence dialog ended.
enum class SetupResult {
    Declined,     // the licence was declined
    WrongProduct, // the installed product is not the one this upgrade is for, or is not there
    Upgraded,     // the upgrade is complete
    Incomplete,   // the upgrade failed and changed nothing; it can be run again
};

class CSetupDlg : public CDialog {
public:
    // `setupFolder` holds the payload files ("" when it is not known).
    explicit CSetupDlg(const CString& setupFolder, CWnd* parent = nullptr);

    SetupResult Result() const { return m_result; }
    // The install base the upgrade ran on.
    const CString& InstallBase() const { return m_installBase; }

    // The window property that marks the licence dialog as Setup's own, for a second Setup to find.
    static constexpr char kLicenceMark[] = "QuilloSetup.LicenceDialog";

    static constexpr UINT_PTR kWorkTimer = 100;
    static constexpr UINT kWorkTimerMs = 100;

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
    // Discards the keys and clicks that wait in the queue, typed while Setup was busy, so that
    // only what the user does while a question is up answers it.
    static void DiscardTypedInput();
    // Asks the product's running programs to quit.
    void CloseRunningPrograms();
    void RunUpgrade();

    CEdit m_license;
    HICON m_hIcon;
    CRegReader m_reg;
    CCopyDlg m_copyDlg;

    CString m_setupFolder;
    CString m_installBase;
    RunningPrograms m_programs;
    bool m_started = false;
    SetupResult m_result = SetupResult::Declined;
};
