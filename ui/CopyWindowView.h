// The copy window while the files are replaced, and nothing else: what an unattended run pushed to
// a logged-on user shows (no licence, no question, no message).
#pragma once

#include "ui/CopyDlg.h"
#include "run/RunPresenter.h"

class CopyWindowView : public RunPresenter {
public:
    // Opens the copy window and waits until it is on the screen with its clip playing.
    Result WorkBegins() override;
    void KeepResponsive() override { CDialog::PumpMessages(); }
    void WorkEnds() override { m_copy.DestroyWindow(); }

protected:
    CCopyDlg m_copy;
};
