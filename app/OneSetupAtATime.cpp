#include "app/OneSetupAtATime.h"

#include "res/resource.h"

namespace {
// In the global namespace, so that a Setup in another session counts too.
constexpr char kMutexName[] = "Global\\QuilloSetup.Upgrade";

// Finds the licence dialog of another process: a dialog with the licence text box.
BOOL CALLBACK FindOtherLicenceDialog(HWND window, LPARAM found) {
    char className[16] = {};
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() ||
        !::GetClassNameA(window, className, sizeof className) ||
        lstrcmpA(className, "#32770") != 0 || !::GetDlgItem(window, IDC_LICENSE))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}
} // namespace

OneSetupAtATime::OneSetupAtATime() {
    m_mutex.Reset(::CreateMutexA(nullptr, FALSE, kMutexName));
    // A mutex made by another user's Setup may refuse this one access: it exists all the same.
    m_isTheOne = m_mutex.IsValid() && ::GetLastError() != ERROR_ALREADY_EXISTS;
}

void OneSetupAtATime::ShowTheRunningSetup() {
    HWND licence = nullptr;
    ::EnumWindows(FindOtherLicenceDialog, reinterpret_cast<LPARAM>(&licence));
    if (!licence)
        return;
    if (::IsIconic(licence))
        ::ShowWindow(licence, SW_RESTORE);
    ::SetForegroundWindow(::GetLastActivePopup(licence));
}
