#include "upgrade/RestartManager.h"

#include "framework/AfxApp.h"

#include <restartmanager.h>

#include <algorithm>
#include <memory>

namespace {
constexpr char kLibrary[] = "rstrtmgr.dll";

const char* const kFunctionNames[] = {"RmStartSession", "RmRegisterResources", "RmGetList",
                                      "RmShutdown",     "RmRestart",           "RmEndSession",
                                      "RmAddFilter"};

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
    return Listed(holders);
}

Result RestartManager::Listed(std::vector<Holder>* holders) {
    // Room for as many as it reports, asked again while more come.
    UINT needed = 8;
    for (;;) {
        m_found.reset(new RM_PROCESS_INFO[needed]);
        m_count = needed;
        DWORD reasons = 0;
        const DWORD listed = m_rm.getList(m_session, &needed, &m_count, m_found.get(), &reasons);
        if (listed == ERROR_MORE_DATA)
            continue;
        if (Result done = RmResult(listed); !done)
            return done;
        holders->resize(m_count);
        for (UINT i = 0; i < m_count; ++i) {
            Holder& holder = (*holders)[i];
            const RM_PROCESS_INFO& found = m_found[i];
            lstrcpynW(holder.name, found.strAppName, ARRAYSIZE(holder.name));
            holder.processId = found.Process.dwProcessId;
            holder.session = found.TSSessionId;
            holder.critical = found.ApplicationType == RmCritical;
            holder.stopped = found.AppStatus & (RmStatusStopped | RmStatusStoppedOther);
            holder.restarted = found.AppStatus & RmStatusRestarted;
        }
        return {};
    }
}

Result RestartManager::CloseHolders(const std::vector<Holder>& named) {
    if (!m_started)
        return {};
    // RmShutdown closes every process the session lists: those not named are kept out of it.
    for (UINT i = 0; i < m_count; ++i) {
        const DWORD processId = m_found[i].Process.dwProcessId;
        if (std::none_of(named.begin(), named.end(),
                         [&](const Holder& holder) { return holder.processId == processId; }))
            if (Result kept = RmResult(
                    m_rm.addFilter(m_session, nullptr, &m_found[i].Process, nullptr, RmNoShutdown));
                !kept)
                return kept;
    }
    m_closed = true;
    return RmResult(m_rm.shutdown(m_session, 0, nullptr));
}

Result RestartManager::RestartClosed() {
    // Windows refuses a restart in a session where nothing was asked to close.
    return m_closed ? RmResult(m_rm.restart(m_session, 0, nullptr)) : Result();
}

std::vector<Holder> HoldersOf(const CString& path) {
    RestartManager rm;
    std::vector<Holder> holders;
    if (!rm.ListHolders({path}, &holders))
        holders.clear();
    return holders;
}
