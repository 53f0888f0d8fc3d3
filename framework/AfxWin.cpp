#include "AfxWin.h"

#include "AfxApp.h"

namespace {
const char kThisProperty[] = "Setup.CDialog";
} // namespace

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd == nullptr)
        control.m_hWnd = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, id);
}

BOOL CDialog::UpdateData() {
    CDataExchange dx(this);
    DoDataExchange(&dx);
    return TRUE;
}

// The dialog's texts come from the template as stored (Unicode), so the Chinese about box keeps
// its text on an English system.
INT_PTR CDialog::DoModal() {
    return ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), Owner(),
                             DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create() {
    return ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), Owner(),
                                DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

bool CDialog::HandleMessage(MSG& message) {
    if (message.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(message.wParam));
        return false;
    }
    // Tab, Enter and Escape go to the dialog that holds the focus, as in a modal dialog.
    HWND dialog = message.hwnd ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (!dialog || !FromHandle(dialog) || !::IsDialogMessageW(dialog, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return true;
}

int CDialog::RunModalLoop() {
    m_inModalLoop = true;
    MSG message;
    while (m_inModalLoop && m_hWnd && ::GetMessageW(&message, nullptr, 0, 0) > 0 &&
           HandleMessage(message)) {
    }
    m_inModalLoop = false;
    return m_modalResult;
}

void CDialog::EndModalLoop(int result) {
    m_modalResult = result;
    m_inModalLoop = false;
}

void CDialog::PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) && HandleMessage(message)) {
    }
}

void CDialog::DestroyWindow() {
    if (m_hWnd && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
}

// The parent given at construction; without one, the application's main
// window, so that a dialog run from it is modal to it.
HWND CDialog::Owner() const {
    if (m_pParentWnd)
        return m_pParentWnd->m_hWnd;
    CWinApp* app = AfxGetApp();
    CWnd* main = app ? app->m_pMainWnd : nullptr;
    if (main && main != this && main->m_hWnd && ::IsWindow(main->m_hWnd))
        return main->m_hWnd;
    return nullptr;
}

CDialog* CDialog::FromHandle(HWND hwnd) {
    return static_cast<CDialog*>(::GetPropA(hwnd, kThisProperty));
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = FromHandle(hwnd);
    if (!self && message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        self->m_hWnd = hwnd;
        ::SetPropA(hwnd, kThisProperty, self);
    }
    if (!self)
        return FALSE;
    if (message == WM_NCDESTROY) {
        // The window is gone: so is the loop that waits for it.
        ::RemovePropA(hwnd, kThisProperty);
        self->m_hWnd = nullptr;
        self->m_inModalLoop = false;
        return FALSE;
    }
    return self->Dispatch(message, wParam, lParam);
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    // Dispatches nest (a handler may run a modal loop): keep the outer flag.
    bool savedDefault = m_wantsDefault;
    m_wantsDefault = false;
    INT_PTR result = TRUE;
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog();
        break;
    case WM_COMMAND:
        if (lParam == 0 || HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == IDOK) {
                OnOK();
                break;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                OnCancel();
                break;
            }
        }
        m_wantsDefault = true;
        break;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        break;
    case WM_PAINT:
        OnPaint();
        break;
    case WM_SYSCOMMAND:
        OnSysCommand(static_cast<UINT>(wParam), lParam);
        break;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
        break;
    default:
        m_wantsDefault = true;
        break;
    }
    if (m_wantsDefault)
        result = FALSE;
    m_wantsDefault = savedDefault;
    return result;
}

LRESULT CDialog::Default() {
    // In the dialog procedure, default processing is the dialog manager's,
    // which runs when the procedure returns FALSE.
    m_wantsDefault = true;
    return 0;
}

BOOL CDialog::OnInitDialog() {
    UpdateData();
    CenterWindow();
    return TRUE;
}

void CDialog::OnTimer(UINT_PTR) {
    Default();
}
void CDialog::OnPaint() {
    Default();
}
void CDialog::OnSysCommand(UINT, LPARAM) {
    Default();
}
HCURSOR CDialog::OnQueryDragIcon() {
    Default();
    return nullptr;
}

// `start` moved at most as far as it takes to lie in [low, high]; `low` when that is empty.
static int Within(int start, int low, int high) {
    if (start > high)
        start = high;
    return start < low ? low : start;
}

// Centres the dialog over its owner, or over the work area of its monitor when it has none, then
// moves it into that work area (never past a taskbar or the screen's edges): one larger than the
// area keeps its caption and top-left corner on the screen.
void CDialog::CenterWindow() {
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    const bool overOwner = owner && ::IsWindowVisible(owner) && !::IsIconic(owner);
    MONITORINFO monitor = {sizeof monitor, {}, {}, 0};
    if (!::GetMonitorInfoA(
            ::MonitorFromWindow(overOwner ? owner : m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor))
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    const RECT work = monitor.rcWork;
    RECT area = work;
    if (overOwner)
        ::GetWindowRect(owner, &area);
    RECT rect;
    ::GetWindowRect(m_hWnd, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    ::SetWindowPos(m_hWnd, nullptr, Within(x, work.left, work.right - width),
                   Within(y, work.top, work.bottom - height), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
