// The "Copy File" window shown while the payload files are replaced.
#pragma once

#include "framework/AfxWin.h"
#include "res/resource.h"

class CCopyDlg : public CDialog {
public:
    explicit CCopyDlg(CWnd* parent = nullptr) : CDialog(IDD_COPY_DIALOG, parent) {}

    // Registers the animation control's class first: comctl32 is loaded only
    // when this window is needed, not at every start of Setup.
    INT_PTR DoModal() override;

    // Whether the window is on the screen, painted, with its clip opened: the
    // work may start. Shows the window first if the dialog manager has not yet
    // (it would only once its queue ran empty, which a busy machine delays).
    bool ShowWithClip();

    static constexpr UINT_PTR kOpenClipTimer = 101;
    static constexpr UINT kOpenClipDelayMs = 100;

protected:
    // Enter, Escape, Alt+F4 or a close request never end the window behind the work's back:
    // only the work ends it, when it is done.
    void OnOK() override {}
    void OnCancel() override {}
    void DoDataExchange(CDataExchange* pDX) override;
    int OnCreate(LPCREATESTRUCT createStruct) override;
    void OnTimer(UINT_PTR idEvent) override;

    CAnimateCtrl m_animate;
    bool m_clipOpened = false;
};
