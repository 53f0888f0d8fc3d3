// The system's Restart Manager (rstrtmgr.dll, loaded from the system folder when first needed):
// which applications and services of any session hold files, and closing them and starting them
// again. (Wine's is a set of stubs that lists nobody.)
#pragma once

#include "framework/AfxFile.h"
#include "upgrade/Holders.h"

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
    DWORD m_session = 0;
    bool m_started = false;
    bool m_closed = false;
};

// Who holds `path` ("" when nobody is known to), as HolderNames writes it.
std::wstring HoldersOf(const CString& path);
