#include "upgrade/RestartManager.h"

#include "framework/AfxApp.h"

#include <restartmanager.h>

#include <memory>

namespace {
constexpr char kLibrary[] = "rstrtmgr.dll";

const char* const kFunctionNames[] = {"RmStartSession", "RmRegisterResources", "RmGetList",
                                      "RmShutdown",     "RmRestart",           "RmEndSession"};

Result RmResult(DWORD code) {
    return code == ERROR_SUCCESS ? Result() : Failed(kLibrary, code);
}
} // namespace

RestartManager::~RestartManager() {
    if (m_started)
        (void)m_rm.endSession(m_session);
}

Result RestartManager::ListHolders(const std::vector<CString>& files,
                                   std::vector<Holder>* holders) {
    if (Result loaded = AfxLoadSystemFunctions(kLibrary, kFunctionNames, &m_rm); !loaded)
        return loaded;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (Result started = RmResult(m_rm.startSession(&m_session, 0, key)); !started)
        return started;
    m_started = true;
    std::vector<std::wstring> wide;
    std::vector<LPCWSTR> names;
    for (const CString& file : files)
        wide.push_back(WideText(file.Str()));
    for (const std::wstring& name : wide)
        names.push_back(name.c_str());
    if (Result registered = RmResult(m_rm.registerResources(
            m_session, static_cast<UINT>(names.size()), names.data(), 0, nullptr, 0, nullptr));
        !registered)
        return registered;
    // Room for as many as it reports, asked again while more come.
    UINT needed = 8;
    for (;;) {
        std::unique_ptr<RM_PROCESS_INFO[]> found(new RM_PROCESS_INFO[needed]);
        UINT count = needed;
        DWORD reasons = 0;
        const DWORD listed = m_rm.getList(m_session, &needed, &count, found.get(), &reasons);
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
    return m_started ? RmResult(m_rm.shutdown(m_session, 0, nullptr)) : Result();
}

Result RestartManager::RestartClosed() {
    // Windows refuses a restart in a session where nothing was asked to close.
    return m_closed ? RmResult(m_rm.restart(m_session, 0, nullptr)) : Result();
}

std::wstring HoldersOf(const CString& path) {
    RestartManager rm;
    std::vector<Holder> holders;
    return rm.ListHolders({path}, &holders) ? HolderNames(holders, L", ") : std::wstring();
}
