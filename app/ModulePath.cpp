#include "app/ModulePath.h"

#include "app/SetupApp.h"
#include "upgrade/FileOps.h"

#include <string>

CString gModulePath;

CString OwnModulePath() {
    // The buffer grows until the whole path fits: the system cuts a path short silently.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return CString();
        if (length < path.size()) {
            path.resize(length);
            return AnsiPathOf(path);
        }
        path.resize(path.size() * 2);
    }
}
