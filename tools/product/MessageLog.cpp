// Appends the product's message lines so that a test can read the file while it grows.
#include "MessageLog.h"

#include <cstdio>

namespace product {

MessageLog::MessageLog() {
    InitializeCriticalSection(&lock_);
}

MessageLog::~MessageLog() {
    Close();
    DeleteCriticalSection(&lock_);
}

bool MessageLog::Open(const std::string& path) {
    EnterCriticalSection(&lock_);
    file_ = CreateFileA(path.c_str(), FILE_APPEND_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = file_ != INVALID_HANDLE_VALUE;
    LeaveCriticalSection(&lock_);
    return ok;
}

std::string MessageLog::FormatLine(const std::string& className, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " 0x%04X 0x%08X 0x%08X", message,
                  static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
    return className + numbers;
}

void MessageLog::Write(const std::string& className, UINT message, WPARAM wParam, LPARAM lParam) {
    WriteText(FormatLine(className, message, wParam, lParam));
}

void MessageLog::WriteText(const std::string& text) {
    std::string line = text + "\n";
    EnterCriticalSection(&lock_);
    if (file_ != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        FlushFileBuffers(file_);
    }
    LeaveCriticalSection(&lock_);
}

void MessageLog::Close() {
    EnterCriticalSection(&lock_);
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
    LeaveCriticalSection(&lock_);
}

} // namespace product
