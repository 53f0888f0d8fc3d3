// The "Copy File" window shown while the payload files are replaced.
#pragma once

#include "framework/AfxFile.h"
#include "framework/AfxWin.h"
#include "res/resource.h"

class CCopyDlg : public CDialog {
public:
    explicit CCopyDlg(CWnd* parent = nullptr) : CDialog(IDD_COPY_DIALOG, parent) {}

    // Makes the window and shows it, its clip to follow one timer period later. Registers the
    // animation control's class first: comctl32 is loaded only when this window is needed, not
    // at every start of Setup. The failure names what could not be made.
    Result Open();

    // Whether the window is on the screen, painted, with its clip opened: the work may start.
    bool ShowWithClip();

    static constexpr UINT_PTR kOpenClipTimer = 101;
    static constexpr UINT kOpenClipDelayMs = 100;

protected:
    // Enter, Escape, Alt+F4 or a close request never end the window behind the work's back:
    // only the work ends it, when it is done.
    void OnOK() override {}
    void OnCancel() override {}
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR idEvent) override;

    CAnimateCtrl m_animate;
    bool m_clipOpened = false;
};
