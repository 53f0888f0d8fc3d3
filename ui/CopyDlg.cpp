#include "ui/CopyDlg.h"

#include "framework/AfxApp.h"

namespace {
constexpr UINT kAnimateOpenA = 0x464; // ACM_OPENA
} // namespace

Result CCopyDlg::Open() {
    if (Result registered = AfxInitCommonControls(); !registered)
        return registered;
    m_clipOpened = false;
    if (!Create())
        return Failed("Copy File", ERROR_INVALID_WINDOW_HANDLE);
    ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
    return {};
}

bool CCopyDlg::ShowWithClip() {
    if (!m_hWnd || !m_clipOpened)
        return false;
    // The work blocks this thread now and then: paint now what would otherwise wait for it.
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_ERASENOW | RDW_UPDATENOW | RDW_ALLCHILDREN);
    return true;
}

void CCopyDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ANIMATE, m_animate);
}

BOOL CCopyDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The clip is opened one timer period later, once the window is up.
    SetTimer(kOpenClipTimer, kOpenClipDelayMs, nullptr);
    return TRUE;
}

void CCopyDlg::OnTimer(UINT_PTR idEvent) {
    if (idEvent == kOpenClipTimer) {
        KillTimer(kOpenClipTimer);
        m_animate.SendMessage(kAnimateOpenA, 0, IDR_AVI_COPY);
        m_clipOpened = true;
    }
    CDialog::OnTimer(idEvent);
}
