// The about box: shown when the licence dialog receives the about command.
#pragma once

#include "framework/AfxWin.h"
#include "res/resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
