#include "app/OneSetupAtATime.h"

#include "ui/SetupDlg.h"

#include <string>

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
} // namespace

OneSetupAtATime::OneSetupAtATime() {
    // A file in the Windows folder, where only administrators may make one, held without sharing
    // and deleted when Setup ends however it ends; every session and account sees it. A named
    // object would be the first creator's, of whatever account: one made by another program
    // would stop every Setup.
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 20)
        return;
    m_lock.Reset(::CreateFileW(
        (std::wstring(folder) + L"\\QuilloSetup.lock").c_str(), GENERIC_READ | DELETE, 0, nullptr,
        OPEN_ALWAYS,
        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    // Held by another Setup (a sharing violation), or not to be made at all: either way Setup
    // cannot tell that no other one runs.
    m_isTheOne = m_lock.IsValid();
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
