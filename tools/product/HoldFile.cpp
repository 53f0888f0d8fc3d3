// HoldFile.exe <path> <milliseconds> [--ready-file PATH]
// Opens an existing file for reading and writing without sharing, as a running program that
// uses it would, and keeps it open for the given time (or until ended). Writes the ready file
// once the file is open. Exits 0 after the time, 1 on bad arguments, 2 when it cannot open.
#include "ProcessHelpers.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    std::string readyFile;
    if (argc == 5 && std::string(argv[3]) == "--ready-file") {
        readyFile = argv[4];
    } else if (argc != 3) {
        std::fprintf(stderr, "usage: HoldFile.exe <path> <milliseconds> [--ready-file PATH]\n");
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
    if (!readyFile.empty()) {
        product::WriteReadyFile(readyFile, std::to_string(GetCurrentProcessId()) + "\n");
    }
    Sleep(milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds));
    CloseHandle(file);
    return 0;
}
