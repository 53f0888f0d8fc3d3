#include "CopyDlg.h"

#include "framework/AfxApp.h"

namespace {
constexpr UINT kAnimateOpenA = 0x464; // ACM_OPENA
} // namespace

INT_PTR CCopyDlg::DoModal() {
    AfxInitCommonControls();
    m_clipOpened = false;
    return CDialog::DoModal();
}

bool CCopyDlg::ShowWithClip() {
    if (!m_hWnd || !m_clipOpened)
        return false;
    if (!::IsWindowVisible(m_hWnd))
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
    // The work blocks this thread: paint now what would otherwise wait for it.
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_ERASENOW | RDW_UPDATENOW | RDW_ALLCHILDREN);
    return true;
}

void CCopyDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ANIMATE, m_animate);
}

int CCopyDlg::OnCreate(LPCREATESTRUCT createStruct) {
    if (CDialog::OnCreate(createStruct) == -1)
        return -1;
    // The clip is opened one timer period later, once the window is up.
    SetTimer(kOpenClipTimer, kOpenClipDelayMs, nullptr);
    return 0;
}

void CCopyDlg::OnTimer(UINT_PTR idEvent) {
    if (idEvent == kOpenClipTimer) {
        KillTimer(kOpenClipTimer);
        m_animate.SendMessage(kAnimateOpenA, 0, IDR_AVI_COPY);
        m_clipOpened = true;
    }
    CDialog::OnTimer(idEvent);
}
