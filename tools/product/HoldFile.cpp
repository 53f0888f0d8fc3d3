// HoldFile.exe <path> <milliseconds> [--window TITLE] [--refuse] [--ready-file PATH]
// Opens an existing file for reading and writing without sharing, as a running program that
// uses it would, and keeps it open for the given time (negative: until ended). Writes its process
// id to the ready file once the file is open and its window shown. --window: shows a top-level
// window with that title (UTF-8), which leaves the session messages to the system and ends the
// program when closed (WM_CLOSE); --refuse: the window answers FALSE to WM_QUERYENDSESSION and
// ignores WM_CLOSE. Exits 0 after the time or once closed, 1 on bad arguments, 2 when it cannot
// open the file, 3 when it cannot show its window.
#include "ProcessHelpers.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool refuse = false;

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (refuse && (message == WM_QUERYENDSESSION || message == WM_CLOSE))
        return 0;
    if (message == WM_TIMER)
        DestroyWindow(window);
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

// Shows the window and runs its messages until it is closed or the time has passed.
bool RunWindow(const std::string& title, long milliseconds) {
    std::wstring wide(title.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, title.data(), static_cast<int>(title.size()),
                                    wide.data(), static_cast<int>(wide.size())));
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"HoldFileWindow";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"HoldFileWindow", wide.c_str(), WS_OVERLAPPEDWINDOW, 0, 0,
                                  300, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return false;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    if (milliseconds >= 0)
        SetTimer(window, 1, static_cast<UINT>(milliseconds), nullptr);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string readyFile, title;
    bool windowed = false, usage = argc < 3;
    for (int i = 3; i < argc && !usage; ++i) {
        std::string option = argv[i];
        if (option == "--refuse")
            refuse = true;
        else if ((option == "--window" || option == "--ready-file") && i + 1 < argc)
            (option == "--window" ? (windowed = true, title) : readyFile) = argv[++i];
        else
            usage = true;
    }
    if (usage) {
        std::fprintf(stderr, "usage: HoldFile.exe <path> <milliseconds> [--window TITLE] "
                             "[--refuse] [--ready-file PATH]\n");
        return 1;
    }
    char* end = nullptr;
    long milliseconds = std::strtol(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0') {
        std::fprintf(stderr, "HoldFile: not a number of milliseconds: %s\n", argv[2]);
        return 1;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "HoldFile: cannot open %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    if (windowed && !RunWindow(title, milliseconds)) {
        std::fprintf(stderr, "HoldFile: cannot show a window (error %lu)\n", GetLastError());
        return 3;
    }
    if (!readyFile.empty()) {
        product::WriteReadyFile(readyFile, std::to_string(GetCurrentProcessId()) + "\n");
    }
    MSG message;
    while (windowed && GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    if (!windowed)
        Sleep(milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds));
    CloseHandle(file);
    return 0;
}
