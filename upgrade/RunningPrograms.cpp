#include "upgrade/RunningPrograms.h"

namespace {
constexpr UINT kQuitRequestTimeoutMs = 3000;
constexpr DWORD kQuitWaitMs = 10000;
// How long one wait lasts before the presenter is kept responsive.
constexpr DWORD kWaitSliceMs = 50;

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
} // namespace

size_t RunningPrograms::AskToQuit() {
    m_processes.clear();
    size_t asked = 0;
    for (const QuitRequest& request : kQuitRequests) {
        HWND window = ::FindWindowA(request.windowClass, nullptr);
        if (!window)
            continue;
        ++asked;
        // Hold the program's process before asking, so it can be waited for.
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        if (processId != 0 && processId != ::GetCurrentProcessId())
            if (HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId))
                m_processes.emplace_back(process);
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutA(window, request.message, request.wParam, request.lParam,
                              SMTO_ABORTIFHUNG | SMTO_BLOCK, kQuitRequestTimeoutMs, &ignored);
    }
    return asked;
}

size_t RunningPrograms::WaitForThemToEnd(UpgradeWatcher& watcher) {
    const DWORD start = ::GetTickCount();
    size_t stillRunning = 0;
    for (const KernelHandle& process : m_processes) {
        while (::WaitForSingleObject(process.Get(), kWaitSliceMs) == WAIT_TIMEOUT &&
               ::GetTickCount() - start < kQuitWaitMs)
            watcher.KeepResponsive();
        stillRunning += ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
    }
    m_processes.clear();
    return stillRunning;
}
