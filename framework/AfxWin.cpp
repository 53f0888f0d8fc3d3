#include "AfxWin.h"

#include "AfxApp.h"

namespace {
// The dialog being created by DoModal, until its window exists. The program
// has one user-interface thread, so one slot is enough.
CDialog* s_creating = nullptr;
HHOOK s_hook = nullptr;
const char kThisProperty[] = "Setup.CDialog";
} // namespace

int CWnd::MessageBox(const char* text, const char* caption, UINT type) const {
    return ::MessageBoxA(m_hWnd, text, caption ? caption : AfxGetAppName(), type);
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd == nullptr)
        control.m_hWnd = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, id);
}

BOOL CDialog::UpdateData() {
    CDataExchange dx(this);
    DoDataExchange(&dx);
    return TRUE;
}

INT_PTR CDialog::DoModal() {
    // The dialog manager sends WM_CREATE before the dialog procedure is
    // attached; a creation hook gives the window to this object first.
    CDialog* outer = s_creating;
    s_creating = this;
    s_hook = ::SetWindowsHookExA(WH_CBT, CbtHook, nullptr, ::GetCurrentThreadId());
    // The dialog's texts come from the template as stored (Unicode), so the
    // Chinese about box keeps its text on an English system.
    INT_PTR result = ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate),
                                       Owner(), DialogProc, reinterpret_cast<LPARAM>(this));
    if (s_hook) {
        ::UnhookWindowsHookEx(s_hook);
        s_hook = nullptr;
    }
    s_creating = outer;
    m_hWnd = nullptr;
    return result;
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

LRESULT CALLBACK CDialog::CbtHook(int code, WPARAM wParam, LPARAM lParam) {
    HHOOK hook = s_hook;
    if (code == HCBT_CREATEWND && s_creating) {
        CDialog* self = s_creating;
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        s_creating = nullptr;
        self->m_hWnd = hwnd;
        ::SetPropA(hwnd, kThisProperty, self);
        self->m_creationSuper = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CreationProc)));
        ::UnhookWindowsHookEx(hook);
        s_hook = nullptr;
        return 0;
    }
    return ::CallNextHookEx(hook, code, wParam, lParam);
}

CDialog* CDialog::FromHandle(HWND hwnd) {
    return static_cast<CDialog*>(::GetPropA(hwnd, kThisProperty));
}

// Window procedure installed at creation: hands WM_CREATE to OnCreate, and
// everything else to the dialog manager underneath.
LRESULT CALLBACK CDialog::CreationProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = FromHandle(hwnd);
    if (!self)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    WNDPROC super = self->m_creationSuper;
    if (message == WM_CREATE) {
        self->m_createMessage = {hwnd, message, wParam, lParam, 0, {0, 0}};
        self->m_inCreate = true;
        LRESULT result = self->OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam));
        self->m_inCreate = false;
        return result;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
        ::RemovePropA(hwnd, kThisProperty);
    }
    return ::CallWindowProcW(super, hwnd, message, wParam, lParam);
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
        result = OnCommand(wParam, lParam);
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
    if (m_inCreate)
        return ::CallWindowProcW(m_creationSuper, m_hWnd, WM_CREATE, m_createMessage.wParam,
                                 m_createMessage.lParam);
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

BOOL CDialog::OnCommand(WPARAM, LPARAM) {
    Default();
    return FALSE;
}

int CDialog::OnCreate(LPCREATESTRUCT) {
    return static_cast<int>(Default());
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

// Centres the dialog over its owner, or over the work area when it has none.
void CDialog::CenterWindow() {
    RECT area;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner))
        ::GetWindowRect(owner, &area);
    else
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT rect;
    ::GetWindowRect(m_hWnd, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
