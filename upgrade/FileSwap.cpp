#include "upgrade/FileSwap.h"

namespace {
constexpr DWORD kRetryDelayMs = 250;
constexpr int kDiscardAttempts = 8;

// Whether another program holds `path` open: a file in use cannot be opened
// for exclusive writing, and must not be renamed over.
bool InUse(const CString& path) {
    HANDLE h = ::CreateFileA(path, GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return ::GetLastError() != ERROR_FILE_NOT_FOUND;
    ::CloseHandle(h);
    return false;
}
} // namespace

bool IsReadOnlyFile(const CString& path) {
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

bool MoveIntoPlace(const CString& temporary, const CString& destination, int attempts) {
    for (int attempt = 1;; ++attempt) {
        if (!InUse(destination) &&
            ::MoveFileExA(temporary, destination,
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        if (attempt >= attempts)
            return false;
        ::Sleep(kRetryDelayMs);
    }
}

void DiscardTemporary(const CString& temporary) {
    ::SetFileAttributesA(temporary, FILE_ATTRIBUTE_NORMAL);
    for (int attempt = 1; attempt < kDiscardAttempts; ++attempt) {
        if (::DeleteFileA(temporary) || ::GetLastError() == ERROR_FILE_NOT_FOUND)
            return;
        ::Sleep(kRetryDelayMs);
    }
}
