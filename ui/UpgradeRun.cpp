// "Yes" on the licence dialog: check the installed product, ask its programs to quit, and run the
// upgrade while the copy window plays its clip; then tell the user the outcome.
#include "ui/SetupDlg.h"

#include "framework/AfxApp.h"
#include "res/resource.h"
#include "upgrade/InstallInfo.h"
#include "upgrade/Upgrade.h"

#include <mbstring.h>

namespace {
constexpr char kEntryText[] = "Pack07up02.exe";
constexpr UINT kQuitRequestTimeoutMs = 3000;
constexpr DWORD kQuitWaitMs = 10000;

struct QuitRequest {
    const char* windowClass;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// The product's programs, in the order they are asked to quit.
constexpr QuitRequest kQuitRequests[] = {
    {"TindleBar", WM_DESTROY, 0x5555, 0xAAAA},
    {"ZenlexTest", WM_CLOSE, 0, 0},
    {"TinSync_Server", WM_CLOSE, 0, 0},
};

UINT MessageOf(SetupResult result) {
    switch (result) {
    case SetupResult::Upgraded:
        return IDS_UPGRADE_DONE;
    case SetupResult::WrongProduct:
        return IDS_WRONG_VERSION;
    default:
        return IDS_UPGRADE_INCOMPLETE;
    }
}

SetupResult ResultOf(InstallBaseCheck check) {
    switch (check) {
    case InstallBaseCheck::Usable:
        return SetupResult::Upgraded;
    case InstallBaseCheck::NotInstalled:
        return SetupResult::WrongProduct;
    default:
        return SetupResult::Incomplete;
    }
}
} // namespace

void CSetupDlg::OnOK() {
    // A second "Yes" while the upgrade runs (a message posted to this disabled window, say)
    // must not start it again.
    if (m_started)
        return;
    m_started = true;

    m_result = CheckInstalledProduct();
    if (m_result == SetupResult::Upgraded) {
        CloseRunningPrograms();
        m_result = SetupResult::Incomplete;
        SetTimer(kWorkTimer, kWorkTimerMs, nullptr);
        m_copyDlg.DoModal();
        // Should the copy window fail to open, the work must not start later, under the result
        // message.
        KillTimer(kWorkTimer);
    }

    // Only a key pressed while the outcome is shown answers it.
    DiscardTypedInput();
    CString text;
    text.LoadString(MessageOf(m_result));
    MessageBox(text, nullptr, MB_OK);
    CDialog::OnOK();
}

SetupResult CSetupDlg::CheckInstalledProduct() {
    CString version;
    m_reg.ReadString(kVersionKey, kCurrentVersionValue, &version, HKEY_LOCAL_MACHINE);
    if (_mbscmp(reinterpret_cast<const unsigned char*>(static_cast<const char*>(version)),
                reinterpret_cast<const unsigned char*>(kRequiredVersion)) != 0)
        return SetupResult::WrongProduct;
    m_reg.ReadString(kVersionKey, kBasePathValue, &m_installBase, HKEY_LOCAL_MACHINE);
    if (m_setupFolder.IsEmpty())
        return SetupResult::Incomplete;
    return ResultOf(CheckInstallBase(m_installBase));
}

void CSetupDlg::CloseRunningPrograms() {
    m_askedProcesses.clear();
    for (const QuitRequest& request : kQuitRequests) {
        HWND window = ::FindWindowA(request.windowClass, nullptr);
        if (!window)
            continue;
        // Hold the program's process before asking, so it can be waited for.
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        if (processId != 0 && processId != ::GetCurrentProcessId()) {
            HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
            if (process)
                m_askedProcesses.emplace_back(process);
        }
        // A hung program must not hang Setup: the request gives up after a bound.
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutA(window, request.message, request.wParam, request.lParam,
                              SMTO_ABORTIFHUNG | SMTO_BLOCK, kQuitRequestTimeoutMs, &ignored);
    }
}

void CSetupDlg::WaitForProgramsToEnd() {
    DWORD start = ::GetTickCount();
    while (!m_askedProcesses.empty()) {
        DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= kQuitWaitMs)
            break;
        std::vector<HANDLE> handles;
        for (const KernelHandle& process : m_askedProcesses)
            handles.push_back(process.Get());
        DWORD count = static_cast<DWORD>(handles.size());
        DWORD result = ::MsgWaitForMultipleObjects(count, handles.data(), FALSE,
                                                   kQuitWaitMs - elapsed, QS_ALLINPUT);
        if (result < WAIT_OBJECT_0 + count) {
            m_askedProcesses.erase(m_askedProcesses.begin() + (result - WAIT_OBJECT_0));
        } else if (result == WAIT_OBJECT_0 + count) {
            // Keep the windows painted and the clip playing. Neither dialog ends on a key or a
            // close request while the run works.
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        } else {
            break;
        }
    }
    m_askedProcesses.clear();
}

void CSetupDlg::RunUpgrade() {
    FileError error;
    if (UpgradeProduct(m_setupFolder, m_installBase, kEntryText, &error) ==
        UpgradeOutcome::Upgraded) {
        m_result = SetupResult::Upgraded;
        return;
    }
    // Which file stands in the way, and why; nothing to name when memory ran out.
    if (error.code != 0)
        AfxReportFileError(error, m_copyDlg.m_hWnd);
}

void CSetupDlg::OnTimer(UINT_PTR idEvent) {
    // The work starts only once the copy window shows its clip; until then the timer keeps
    // firing.
    if (idEvent == kWorkTimer && m_copyDlg.ShowWithClip()) {
        KillTimer(kWorkTimer);
        WaitForProgramsToEnd();
        RunUpgrade();
        m_copyDlg.EndDialog(0);
    }
    CDialog::OnTimer(idEvent);
}
