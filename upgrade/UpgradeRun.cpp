// "Yes" on the licence dialog: check the installed version, ask the
// product's programs to quit, and replace and register the upgrade while the
// progress dialog is shown.
#include "ui/SetupDlg.h"

#include "app/SetupApp.h"
#include "app/SetupFolder.h"
#include "upgrade/AppListRegistration.h"
#include "upgrade/InstallInfo.h"

#include <exception>
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

bool AnyFailed(const std::vector<RowOutcome>& outcomes) {
    for (RowOutcome outcome : outcomes) {
        if (outcome == RowOutcome::FailedReplace || outcome == RowOutcome::FailedSourceMissing ||
            outcome == RowOutcome::SkippedNoInstallBase)
            return true;
    }
    return false;
}
} // namespace

void CSetupDlg::OnOK() {
    CString version;
    m_reg.ReadString(kVersionKey, kCurrentVersionValue, &version, HKEY_LOCAL_MACHINE);

    UINT message = IDS_WRONG_VERSION;
    if (_mbscmp(reinterpret_cast<const unsigned char*>(static_cast<const char*>(version)),
                reinterpret_cast<const unsigned char*>(kRequiredVersion)) == 0) {
        CloseRunningPrograms();
        m_upgradeSucceeded = false;
        SetTimer(kWorkTimer, kWorkTimerMs, nullptr);
        m_copyDlg.DoModal();
        // Should the copy window fail to open, the work must not start later,
        // under the result message.
        KillTimer(kWorkTimer);
        message = m_upgradeSucceeded ? IDS_UPGRADE_DONE : IDS_UPGRADE_INCOMPLETE;
    }

    CString text;
    text.LoadString(message);
    MessageBox(text, nullptr, MB_OK);
    CDialog::OnOK();
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
        for (const ProcessHandle& process : m_askedProcesses)
            handles.push_back(process.Get());
        DWORD count = static_cast<DWORD>(handles.size());
        DWORD result = ::MsgWaitForMultipleObjects(count, handles.data(), FALSE,
                                                   kQuitWaitMs - elapsed, QS_ALLINPUT);
        if (result < WAIT_OBJECT_0 + count) {
            m_askedProcesses.erase(m_askedProcesses.begin() + (result - WAIT_OBJECT_0));
        } else if (result == WAIT_OBJECT_0 + count) {
            // Keep the windows painted and the clip playing; keys are not
            // routed to the dialogs, so nothing can end them meanwhile.
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

void CSetupDlg::OnTimer(UINT_PTR idEvent) {
    // The work starts only once the copy window shows its clip; until then
    // the timer keeps firing.
    if (idEvent == kWorkTimer && m_copyDlg.ShowWithClip()) {
        KillTimer(kWorkTimer);
        WaitForProgramsToEnd();

        CString setupFolder = SetupFolderOf(gModulePath);
        CString installBase;
        m_reg.ReadString(kVersionKey, kBasePathValue, &installBase, HKEY_LOCAL_MACHINE);

        bool succeeded = false;
        if (!setupFolder.IsEmpty()) {
            std::vector<RowOutcome> outcomes = ReplacePayloadFiles(setupFolder, installBase);
            // Only a complete replacement is registered, so that the product
            // offers the upgrade again after a failure.
            if (!installBase.IsEmpty() && !AnyFailed(outcomes)) {
                try {
                    succeeded = RegisterInAppList(kEntryText) != AppListResult::Failed;
                } catch (const CFileException& error) {
                    AfxReportFileError(error, m_copyDlg.m_hWnd);
                } catch (const std::exception&) {
                    // Out of memory for a huge list file: the list is left as
                    // it was, and the run reports that it did not complete.
                }
            }
        }
        m_upgradeSucceeded = succeeded;
        m_copyDlg.EndDialog(0);
    }
    CDialog::OnTimer(idEvent);
}
