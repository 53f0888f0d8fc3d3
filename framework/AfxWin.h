// Windows and dialogs: CWnd, CDialog with its data exchange, and the two
// control classes the program binds (CEdit, CAnimateCtrl).
#pragma once

#include "AfxString.h"

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) {
        return ::SetTimer(m_hWnd, id, elapse, proc);
    }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }

    HWND m_hWnd = nullptr;
};

class CEdit : public CWnd {};

class CAnimateCtrl : public CWnd {};

class CDataExchange {
public:
    explicit CDataExchange(CWnd* dialog) : m_pDlgWnd(dialog) {}
    CWnd* m_pDlgWnd;
};

// Binds control `id` of the dialog to `control`.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// A dialog on a template. Its static dialog procedure binds `this` to the window and dispatches
// to the virtual handlers below; a handler of the base class asks for the dialog manager's
// default processing.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr)
        : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
    ~CDialog() override { DestroyWindow(); }

    // Runs the dialog modally, in the dialog manager's own loop, until EndDialog; -1 when its
    // window cannot be made.
    virtual INT_PTR DoModal();
    void EndDialog(int result) { ::EndDialog(m_hWnd, result); }

    // Makes the dialog's window and leaves it up (a modeless dialog), for a window that stays on
    // the screen while the program works: its messages are handled in RunModalLoop, in
    // PumpMessages, or in any modal loop that runs meanwhile (a message box's). False when the
    // window cannot be made.
    [[nodiscard]] bool Create();
    // Handles this thread's messages, the dialog manager's keys included, until EndModalLoop; its
    // argument is the result.
    [[nodiscard]] int RunModalLoop();
    void EndModalLoop(int result);
    void DestroyWindow();
    // Handles the messages waiting for this thread's windows, then returns.
    static void PumpMessages();
    // Binds the controls to their members (the only exchange the program makes).
    BOOL UpdateData();

protected:
    virtual void DoDataExchange(CDataExchange* pDX) { (void)pDX; }
    virtual BOOL OnInitDialog();
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    // Message handlers; the base versions ask for default processing.
    virtual void OnTimer(UINT_PTR idEvent);
    virtual void OnPaint();
    virtual void OnSysCommand(UINT id, LPARAM lParam);
    virtual HCURSOR OnQueryDragIcon();

    // Default processing of the message being handled.
    LRESULT Default();

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static CDialog* FromHandle(HWND hwnd);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void CenterWindow();
    HWND Owner() const;
    // Handles one message taken from the queue; false for WM_QUIT, which is put back.
    static bool HandleMessage(MSG& message);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    bool m_wantsDefault = false;
    bool m_inModalLoop = false;
    int m_modalResult = 0;
};
