// The system's Restart Manager (rstrtmgr.dll, loaded from the system folder when a session begins):
// which applications and services of any session hold files, and closing them and starting them
// again. (Wine's is a set of stubs that lists nobody.)
#pragma once

#include "framework/AfxFile.h"
#include "upgrade/Holders.h"

#include <restartmanager.h>

#include <vector>

class RestartManager {
public:
    RestartManager() = default;
    RestartManager(const RestartManager&) = delete;
    RestartManager& operator=(const RestartManager&) = delete;
    ~RestartManager(); // ends the session

    // Begins a session on `files` and lists who holds any of them.
    Result ListHolders(const std::vector<CString>& files, std::vector<Holder>* holders);
    // Asks the holders of the session's files to close, without forcing them.
    Result CloseHolders();
    // Starts again the applications and services that CloseHolders closed; nothing when it was
    // not called.
    Result RestartClosed();

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
    };

    Functions m_rm = {};
    DWORD m_session = 0;
    bool m_started = false;
    bool m_closed = false;
};

// Who holds `path` ("" when nobody is known to), as HolderNames writes it.
std::wstring HoldersOf(const CString& path);
