// The system's Restart Manager (rstrtmgr.dll, loaded from the system folder when a session begins):
// which applications and services of any session hold files, and closing those named and starting
// them again. (Wine's is a set of stubs that lists nobody.)
#pragma once

#include "framework/AfxFile.h"
#include "upgrade/Holders.h"

#include <restartmanager.h>

#include <memory>
#include <vector>

class RestartManager {
public:
    RestartManager() = default;
    RestartManager(const RestartManager&) = delete;
    RestartManager& operator=(const RestartManager&) = delete;
    ~RestartManager(); // ends the session

    // Begins a session on `files` and lists who holds any of them.
    Result ListHolders(const std::vector<CString>& files, std::vector<Holder>* holders);
    // Asks the holders `named` (of those listed) to close, without forcing them; every other
    // holder listed is kept out of the shutdown.
    Result CloseHolders(const std::vector<Holder>& named);
    // Starts again the applications and services that CloseHolders closed, as far as Windows
    // restarts them; nothing when it was not called.
    Result RestartClosed();
    // Who holds the session's files now, with what was done to each.
    Result Listed(std::vector<Holder>* holders);

private:
    // rstrtmgr.dll's functions, in the order of their names.
    struct Functions {
        DWORD(WINAPI* startSession)(DWORD*, DWORD, WCHAR[]);
        DWORD(WINAPI* registerResources)
        (DWORD, UINT, LPCWSTR[], UINT, RM_UNIQUE_PROCESS[], UINT, LPCWSTR[]);
        DWORD(WINAPI* getList)(DWORD, UINT*, UINT*, RM_PROCESS_INFO[], LPDWORD);
        DWORD(WINAPI* shutdown)(DWORD, ULONG, RM_WRITE_STATUS_CALLBACK);
        DWORD(WINAPI* restart)(DWORD, DWORD, RM_WRITE_STATUS_CALLBACK);
        DWORD(WINAPI* endSession)(DWORD);
        DWORD(WINAPI* addFilter)(DWORD, LPCWSTR, RM_UNIQUE_PROCESS*, LPCWSTR, RM_FILTER_ACTION);
    };

    Functions m_rm = {};
    DWORD m_session = 0;
    bool m_started = false;
    bool m_closed = false;
    std::unique_ptr<RM_PROCESS_INFO[]> m_found; // what Restart Manager listed last
    UINT m_count = 0;
};

// Who holds `path` (none when nobody is known to).
std::vector<Holder> HoldersOf(const CString& path);
