#include "ui/LicenceView.h"

#include "framework/AfxApp.h"
#include "ui/Messages.h"
#include "res/resource.h"
#include "ui/Outcomes.h"

namespace {
// The answer that a dialog's or a message's result `shown` gives: `yes`, `no`, or anything else
// (the window could not be shown).
RunPresenter::Answer AnswerOf(int shown, int yes, int no) {
    using Answer = RunPresenter::Answer;
    return shown == yes ? Answer::Yes : shown == no ? Answer::No : Answer::NoWindow;
}
} // namespace

LicenceView::~LicenceView() {
    AfxGetApp()->m_pMainWnd = nullptr;
}

RunPresenter::Answer LicenceView::AcceptLicence() {
    if (!m_licence.Create())
        return Answer::NoWindow;
    // The about box and the copy window are owned by the licence.
    AfxGetApp()->m_pMainWnd = &m_licence;
    return AnswerOf(m_licence.RunModalLoop(), IDOK, IDCANCEL);
}

Result LicenceView::WorkBegins() {
    ::EnableWindow(m_licence.m_hWnd, FALSE);
    Result shown = CopyWindowView::WorkBegins();
    if (!shown)
        ::EnableWindow(m_licence.m_hWnd, TRUE);
    return shown;
}

RunPresenter::Answer LicenceView::CloseHolders(const wchar_t* names) {
    CString format;
    (void)format.LoadString(IDS_CLOSE_PROGRAMS);
    // The names, of any length, go in whole: the text is made by hand, not by wsprintfA.
    std::string text = format.Str();
    const size_t field = text.find("%s");
    if (field != std::string::npos)
        text.replace(field, 2, CodePageText(names, lstrlenW(names), CP_ACP));
    return AnswerOf(ShowMessage(m_copy.m_hWnd, text.c_str(), nullptr, MB_YESNO | MB_ICONQUESTION),
                    IDYES, IDNO);
}

void LicenceView::WorkEnds() {
    CopyWindowView::WorkEnds();
    ::EnableWindow(m_licence.m_hWnd, TRUE);
}

void LicenceView::StepFailed(const Result& failure) {
    // Over the copy window while it is up; the result that follows is the licence's.
    (void)ShowFileError(m_copy.m_hWnd, failure);
}

bool LicenceView::Tell(Outcome outcome) {
    // The outcome's message with only OK and no icon; a missing string shows as an empty one.
    CString text;
    if (RowOf(outcome).message == 0)
        return true;
    (void)text.LoadString(RowOf(outcome).message);
    return ShowMessage(m_licence.m_hWnd, text, nullptr, MB_OK) != 0;
}
