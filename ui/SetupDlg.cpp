#include "ui/SetupDlg.h"

#include "framework/AfxApp.h"
#include "res/resource.h"
#include "ui/AboutDlg.h"
#include "ui/AccessibleName.h"
#include "ui/Messages.h"

namespace {
constexpr char kExitCaption[] = "Exit Setup";
constexpr UINT kAboutCommand = 0x0010;
} // namespace

CSetupDlg::CSetupDlg(CWnd* parent) : CDialog(IDD_SETUP_DIALOG, parent) {
    HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON);
    m_hIcon = ::LoadIconA(module, MAKEINTRESOURCEA(IDR_MAINFRAME));
}

void CSetupDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LICENSE, m_license);
}

BOOL CSetupDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetPropA(m_hWnd, kLicenceMark, reinterpret_cast<HANDLE>(1));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    CString text;
    for (UINT id = IDS_LICENSE1; id <= IDS_LICENSE10; ++id) {
        CString piece;
        (void)piece.LoadString(id); // a missing piece is an empty one
        text += piece;
    }
    m_license.SetWindowText(text);
    // The template puts no label before the text box, from which a screen reader would take its
    // name; where the system cannot name it otherwise it stays unnamed, as before.
    (void)SetAccessibleName(m_license.m_hWnd, IDS_LICENCE_NAME);
    return TRUE;
}

void CSetupDlg::OnOK() {
    // A second "Yes" while the upgrade runs (a message posted to this window, say) must not start
    // it again.
    if (m_answered)
        return;
    m_answered = true;
    EndModalLoop(IDOK);
}

void CSetupDlg::OnCancel() {
    // Once the upgrade has started there is no leaving it: a close request (End task, say) asks
    // nothing, since the answer could not be kept.
    if (m_answered)
        return;
    // Escape and the close button (IDCANCEL under Wine, nothing under Windows) answer No.
    const int answer = ShowMessage(m_hWnd, AfxLoadText(IDS_CONFIRM_EXIT), kExitCaption, MB_YESNO);
    if (answer == IDYES || answer == 0) {
        m_answered = true;
        EndModalLoop(answer == IDYES ? IDCANCEL : -1);
    }
}

void CSetupDlg::OnSysCommand(UINT id, LPARAM lParam) {
    if ((id & 0xFFF0) == kAboutCommand) {
        CAboutDlg about;
        about.DoModal();
        return;
    }
    CDialog::OnSysCommand(id, lParam);
}

void CSetupDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    int iconWidth = ::GetSystemMetrics(SM_CXICON);
    int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    int x = (rect.right - rect.left - iconWidth + 1) / 2;
    int y = (rect.bottom - rect.top - iconHeight + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
}

HCURSOR CSetupDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}
