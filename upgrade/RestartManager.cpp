#include "upgrade/RestartManager.h"

#include "framework/AfxApp.h"

#include <restartmanager.h>

#include <memory>

namespace {
constexpr char kLibrary[] = "rstrtmgr.dll";

struct RmFunctions {
    DWORD(WINAPI* startSession)(DWORD*, DWORD, WCHAR[]);
    DWORD(WINAPI* registerResources)
    (DWORD, UINT, LPCWSTR[], UINT, RM_UNIQUE_PROCESS[], UINT, LPCWSTR[]);
    DWORD(WINAPI* getList)(DWORD, UINT*, UINT*, RM_PROCESS_INFO[], LPDWORD);
    DWORD(WINAPI* shutdown)(DWORD, ULONG, RM_WRITE_STATUS_CALLBACK);
    DWORD(WINAPI* restart)(DWORD, DWORD, RM_WRITE_STATUS_CALLBACK);
    DWORD(WINAPI* endSession)(DWORD);
};

RmFunctions functions = {};
bool tried = false, loaded = false;

// rstrtmgr.dll's functions, loaded on the first call; nullptr when it or one is missing.
const RmFunctions* Rm() {
    if (!tried) {
        tried = true;
        HMODULE library = nullptr;
        loaded =
            AfxLoadSystemLibrary(kLibrary, &library) &&
            (functions.startSession =
                 AfxFunction<decltype(functions.startSession)>(library, "RmStartSession")) &&
            (functions.registerResources = AfxFunction<decltype(functions.registerResources)>(
                 library, "RmRegisterResources")) &&
            (functions.getList = AfxFunction<decltype(functions.getList)>(library, "RmGetList")) &&
            (functions.shutdown =
                 AfxFunction<decltype(functions.shutdown)>(library, "RmShutdown")) &&
            (functions.restart = AfxFunction<decltype(functions.restart)>(library, "RmRestart")) &&
            (functions.endSession =
                 AfxFunction<decltype(functions.endSession)>(library, "RmEndSession"));
    }
    return loaded ? &functions : nullptr;
}

Result RmResult(DWORD code) {
    return code == ERROR_SUCCESS ? Result() : Failed(kLibrary, code);
}
} // namespace

RestartManager::~RestartManager() {
    if (m_started)
        (void)Rm()->endSession(m_session);
}

Result RestartManager::ListHolders(const std::vector<CString>& files,
                                   std::vector<Holder>* holders) {
    const RmFunctions* rm = Rm();
    if (!rm)
        return Failed(kLibrary, ERROR_PROC_NOT_FOUND);
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (Result started = RmResult(rm->startSession(&m_session, 0, key)); !started)
        return started;
    m_started = true;
    std::vector<std::wstring> wide;
    std::vector<LPCWSTR> names;
    for (const CString& file : files)
        wide.push_back(WideText(file.Str()));
    for (const std::wstring& name : wide)
        names.push_back(name.c_str());
    if (Result registered = RmResult(rm->registerResources(
            m_session, static_cast<UINT>(names.size()), names.data(), 0, nullptr, 0, nullptr));
        !registered)
        return registered;
    // Room for as many as it reports, asked again while more come.
    UINT needed = 8;
    for (;;) {
        std::unique_ptr<RM_PROCESS_INFO[]> found(new RM_PROCESS_INFO[needed]);
        UINT count = needed;
        DWORD reasons = 0;
        const DWORD listed = rm->getList(m_session, &needed, &count, found.get(), &reasons);
        if (listed == ERROR_MORE_DATA)
            continue;
        if (Result done = RmResult(listed); !done)
            return done;
        holders->resize(count);
        for (UINT i = 0; i < count; ++i) {
            Holder& holder = (*holders)[i];
            lstrcpynW(holder.name, found[i].strAppName, 256);
            holder.processId = found[i].Process.dwProcessId;
            holder.session = found[i].TSSessionId;
            holder.critical = found[i].ApplicationType == RmCritical;
        }
        return {};
    }
}

Result RestartManager::CloseHolders() {
    m_closed = m_started;
    return m_started ? RmResult(Rm()->shutdown(m_session, 0, nullptr)) : Result();
}

Result RestartManager::RestartClosed() {
    // Windows refuses a restart in a session where nothing was asked to close.
    return m_closed ? RmResult(Rm()->restart(m_session, 0, nullptr)) : Result();
}

std::wstring HoldersOf(const CString& path) {
    RestartManager rm;
    std::vector<Holder> holders;
    return rm.ListHolders({path}, &holders) ? HolderNames(holders, L", ") : std::wstring();
}
