#include "upgrade/RunningPrograms.h"

namespace {
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
        if (processId != 0 && processId != ::GetCurrentProcessId()) {
            HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
            if (process)
                m_processes.emplace_back(process);
        }
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutA(window, request.message, request.wParam, request.lParam,
                              SMTO_ABORTIFHUNG | SMTO_BLOCK, kQuitRequestTimeoutMs, &ignored);
    }
    return asked;
}

size_t RunningPrograms::WaitForThemToEnd(bool dispatchMessages) {
    const DWORD start = ::GetTickCount();
    while (!m_processes.empty()) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= kQuitWaitMs)
            break;
        std::vector<HANDLE> handles;
        for (const KernelHandle& process : m_processes)
            handles.push_back(process.Get());
        const DWORD count = static_cast<DWORD>(handles.size());
        const DWORD result =
            dispatchMessages
                ? ::MsgWaitForMultipleObjects(count, handles.data(), FALSE, kQuitWaitMs - elapsed,
                                              QS_ALLINPUT)
                : ::WaitForMultipleObjects(count, handles.data(), FALSE, kQuitWaitMs - elapsed);
        if (result < WAIT_OBJECT_0 + count) {
            m_processes.erase(m_processes.begin() + (result - WAIT_OBJECT_0));
        } else if (dispatchMessages && result == WAIT_OBJECT_0 + count) {
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        } else {
            break;
        }
    }
    const size_t stillRunning = m_processes.size();
    m_processes.clear();
    return stillRunning;
}
