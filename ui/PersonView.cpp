#include "ui/PersonView.h"

#include "framework/AfxApp.h"
#include "ui/Messages.h"
#include "res/resource.h"

namespace {
// Finds the licence dialog of another Setup: the window that carries Setup's own mark.
BOOL CALLBACK FindOtherLicenceDialog(HWND window, LPARAM found) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() || !::GetPropA(window, CSetupDlg::kLicenceMark))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Brings the licence dialog of the Setup that runs, or what it shows on top, to the front. False
// when there is none to be found on this desktop.
bool ShowTheRunningSetup() {
    HWND licence = nullptr;
    ::EnumWindows(FindOtherLicenceDialog, reinterpret_cast<LPARAM>(&licence));
    if (!licence)
        return false;
    if (::IsIconic(licence))
        ::ShowWindow(licence, SW_RESTORE);
    ::SetForegroundWindow(::GetLastActivePopup(licence));
    return true;
}
} // namespace

PersonView::~PersonView() {
    AfxGetApp()->m_pMainWnd = nullptr;
}

RunPresenter::Answer PersonView::AcceptLicence() {
    if (!m_licence.Create())
        return Answer::NoWindow;
    // The about box and the copy window are owned by the licence.
    AfxGetApp()->m_pMainWnd = &m_licence;
    // Anything but Yes or No (the question to quit could not be shown, or the licence's window
    // went away unanswered) is no window.
    const int answer = m_licence.RunModalLoop();
    return answer == IDOK ? Answer::Yes : answer == IDCANCEL ? Answer::No : Answer::NoWindow;
}

Result PersonView::WorkBegins() {
    ::EnableWindow(m_licence.m_hWnd, FALSE);
    Result shown = CopyWindowView::WorkBegins();
    if (!shown)
        ::EnableWindow(m_licence.m_hWnd, TRUE);
    return shown;
}

RunPresenter::Answer PersonView::CloseHolders(const std::vector<Holder>& holders) {
    const std::wstring text =
        Filled(AfxLoadText(IDS_CLOSE_PROGRAMS), {ProgramNames(holders, L"\r\n")});
    const int shown = ShowMessage(m_copy.m_hWnd, text, nullptr, MB_YESNO | MB_ICONQUESTION);
    // Windows' Yes/No box has no Cancel: Escape and its close button do nothing. Wine's answers
    // them with IDCANCEL, which the person meant as No. Only a box not shown at all (0) is no
    // window.
    return shown == IDYES ? Answer::Yes : shown ? Answer::No : Answer::NoWindow;
}

void PersonView::WorkEnds() {
    CopyWindowView::WorkEnds();
    ::EnableWindow(m_licence.m_hWnd, TRUE);
}

void PersonView::StepFailed(const Result& failure, const std::vector<Holder>& heldBy) {
    // Over the copy window while it is up; the result that follows is the licence's.
    (void)ShowFileError(m_copy.m_hWnd, failure, heldBy);
}

bool PersonView::Tell(Outcome outcome) {
    // The outcome's message over the licence, with only OK and no icon (a missing string shows as
    // an empty one); then the licence closes, its run over.
    bool told = true;
    if (RowOf(outcome).message != 0 &&
        !(outcome == Outcome::AnotherSetup && ShowTheRunningSetup())) {
        told =
            ShowMessage(m_licence.m_hWnd, AfxLoadText(RowOf(outcome).message), nullptr, MB_OK) != 0;
    }
    m_licence.DestroyWindow();
    return told;
}
