#include "app/OneSetupAtATime.h"

#include "ui/SetupDlg.h"

namespace {
// In the global namespace, so that a Setup in another session counts too.
constexpr char kMutexName[] = "Global\\QuilloSetup.Upgrade";

// Finds the licence dialog of another Setup: the window that carries Setup's own mark.
BOOL CALLBACK FindOtherLicenceDialog(HWND window, LPARAM found) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() || !::GetPropA(window, CSetupDlg::kLicenceMark))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}
} // namespace

OneSetupAtATime::OneSetupAtATime() {
    m_mutex.Reset(::CreateMutexA(nullptr, FALSE, kMutexName));
    // A mutex made by another user's Setup refuses this one access; a name taken by an object of
    // another kind fails too. Either way Setup cannot tell that no other one runs.
    m_isTheOne = m_mutex.IsValid() && ::GetLastError() != ERROR_ALREADY_EXISTS;
}

bool OneSetupAtATime::ShowTheRunningSetup() {
    HWND licence = nullptr;
    ::EnumWindows(FindOtherLicenceDialog, reinterpret_cast<LPARAM>(&licence));
    if (!licence)
        return false;
    if (::IsIconic(licence))
        ::ShowWindow(licence, SW_RESTORE);
    ::SetForegroundWindow(::GetLastActivePopup(licence));
    return true;
}
