#include "ui/CopyWindowView.h"

Result CopyWindowView::WorkBegins() {
    if (Result opened = m_copy.Open(); !opened)
        return opened;
    // The clip opens one timer period after the window appeared.
    while (!m_copy.ShowWithClip()) {
        if (!m_copy.m_hWnd)
            return Failed("Copy File", ERROR_INVALID_WINDOW_HANDLE);
        ::WaitMessage();
        CDialog::PumpMessages();
    }
    return {};
}
