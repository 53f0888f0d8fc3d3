// A stand-in rstrtmgr.dll for the tests, never shipped. Wine's Restart Manager lists nobody, so
// the tests install this one in their prefix (tests/support/restart_manager.h). It behaves as
// Windows documents Restart Manager, over the processes a description names.
//
// The description, %WINDIR%\rstrtmgr-standin.txt (C:\windows\rstrtmgr-standin.txt), UTF-8, is
// read again by every RmGetList, RmShutdown and RmRestart; without it nobody holds anything. One
// item a line, words separated by spaces; other lines are skipped:
//   caller system|admin|user SESSION   LocalSystem, an elevated user or a plain user, and its
//                                      session (default: a plain user in the caller's session)
//   process PID SESSION KIND restart|norestart elevated|normal
//       KIND: main, other, console, service or critical; registered for restart or not
//   name TEXT, service NAME, command TEXT, file PATH
//       of the process above: its application name, its service's short name, the command line
//       that starts it again, a file it holds (full path; any number of them)
// A process is listed while it runs with that id.
//
// RmShutdown (flags 0 only) closes window programs as Windows does: every top-level window is
// sent WM_QUERYENDSESSION (ENDSESSION_CLOSEAPP); one that answers FALSE (or not within
// kAnswerWaitMs) cancels the shutdown of all, which get WM_ENDSESSION FALSE; otherwise each gets
// WM_ENDSESSION TRUE, WM_CLOSE if it has not ended within kEndSessionWaitMs, and has kCloseWaitMs
// to end. A process in another session than the caller's, an elevated one for a plain user, a
// console or a service (this stand-in has no way to ask those) is not shut down; a critical one,
// unless filtered out, stops the shutdown before it starts (ERROR_FAIL_NOACTION_REBOOT). RmRestart
// runs the command line of those it shut down that are registered for restart and not elevated.
// One caller thread at a time.
#include <windows.h>

#include <restartmanager.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "rm_error_codes.h"

namespace {

constexpr DWORD kAnswerWaitMs = 5000;     // for a window's answer
constexpr DWORD kEndSessionWaitMs = 1000; // for a program to end on WM_ENDSESSION alone
constexpr DWORD kCloseWaitMs = 10000;     // for a program to end once sent WM_CLOSE

struct Described {
    RM_UNIQUE_PROCESS process = {};
    DWORD session = 0;
    RM_APP_TYPE type = RmUnknownApp;
    bool restartable = false, elevated = false;
    std::wstring name, service, command, module;
    std::vector<std::wstring> files;
    ULONG status = RmStatusRunning; // what was done to it
};
struct Filter {
    std::wstring module, service;
    RM_UNIQUE_PROCESS process = {};
    RM_FILTER_ACTION action = RmInvalidFilterAction;
};
struct Session {
    std::vector<std::wstring> files, services;
    std::vector<RM_UNIQUE_PROCESS> processes;
    std::vector<Filter> filters;
    std::vector<Described> listed; // every process listed so far
    bool shutDown = false;
};

std::map<DWORD, Session> sessions;
DWORD nextHandle = 1;
std::wstring callerKind; // as the description last read says
DWORD callerSession = 0;

Session* Find(DWORD handle) {
    auto found = sessions.find(handle);
    return found == sessions.end() ? nullptr : &found->second;
}
bool Same(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}
bool Same(const RM_UNIQUE_PROCESS& a, const RM_UNIQUE_PROCESS& b) {
    return a.dwProcessId == b.dwProcessId &&
           CompareFileTime(&a.ProcessStartTime, &b.ProcessStartTime) == 0;
}

// Whether the process `d` names runs (with that start time when `timeKnown`); fills in its start
// time and program file, and gives a handle to it when asked.
bool Running(Described& d, bool timeKnown, HANDLE* handle = nullptr) {
    HANDLE h =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, d.process.dwProcessId);
    FILETIME start, end, kernel, user;
    WCHAR module[MAX_PATH];
    DWORD size = MAX_PATH;
    if (h && WaitForSingleObject(h, 0) == WAIT_TIMEOUT &&
        GetProcessTimes(h, &start, &end, &kernel, &user) &&
        (!timeKnown || CompareFileTime(&start, &d.process.ProcessStartTime) == 0)) {
        d.process.ProcessStartTime = start;
        d.module = QueryFullProcessImageNameW(h, 0, module, &size) ? module : L"";
        return handle ? (*handle = h) != nullptr : CloseHandle(h);
    }
    return h && !CloseHandle(h);
}

std::vector<Described> ReadDescription() {
    std::vector<Described> described;
    callerKind = L"user";
    ProcessIdToSessionId(GetCurrentProcessId(), &callerSession);
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    std::ifstream file(std::string(folder) + "\\rstrtmgr-standin.txt", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                    text.data(), static_cast<int>(text.size())));
    const WCHAR* const kinds[] = {L"", L"main", L"other", L"service", L"", L"console"};
    std::wistringstream lines(text);
    for (std::wstring line, key, kind, restart, elevated; std::getline(lines, line);) {
        std::wistringstream words(line);
        Described d;
        if (!(words >> key) || (key == L"caller" && (words >> callerKind >> callerSession)))
            continue;
        if (key == L"process" &&
            (words >> d.process.dwProcessId >> d.session >> kind >> restart >> elevated)) {
            for (int type = 1; type <= RmConsole; ++type)
                d.type = kind == kinds[type] ? RM_APP_TYPE(type) : d.type;
            d.type = kind == L"critical" ? RmCritical : d.type;
            d.restartable = restart == L"restart";
            d.elevated = elevated == L"elevated";
            described.push_back(d);
        }
        std::wstring rest;
        std::getline(words >> std::ws, rest);
        if (!rest.empty() && rest.back() == L'\r')
            rest.pop_back();
        if (described.empty())
            continue;
        Described& last = described.back();
        if (key == L"name")
            last.name = rest;
        else if (key == L"service")
            last.service = rest;
        else if (key == L"command")
            last.command = rest;
        else if (key == L"file")
            last.files.push_back(rest);
    }
    return described;
}

// Lists in the session the described processes, running, that hold a registered file, are a
// registered process or run a registered service; forgets those not acted on that have ended.
void Update(Session& s) {
    std::erase_if(s.listed,
                  [](Described& d) { return d.status == RmStatusRunning && !Running(d, true); });
    for (Described& d : ReadDescription()) {
        bool wanted = false, known = false;
        for (const std::wstring& held : d.files)
            for (const std::wstring& file : s.files)
                wanted = wanted || Same(file, held);
        for (const std::wstring& service : s.services)
            wanted = wanted || Same(service, d.service);
        if (!Running(d, false))
            continue;
        for (const RM_UNIQUE_PROCESS& process : s.processes)
            wanted = wanted || Same(process, d.process);
        for (const Described& listed : s.listed)
            known = known || Same(listed.process, d.process);
        if (wanted && !known)
            s.listed.push_back(d);
    }
}

// Why the caller cannot shut `d` down, as a reboot reason; RmRebootReasonNone when it can.
DWORD Obstacle(const Described& d) {
    if (d.type == RmCritical)
        return RmRebootReasonCriticalProcess;
    if (d.type != RmService && d.session != callerSession)
        return RmRebootReasonSessionMismatch;
    return (d.elevated || d.type == RmService) && callerKind == L"user"
               ? RmRebootReasonPermissionDenied
               : RmRebootReasonNone;
}

// The action of the filter that applies to `d`; RmInvalidFilterAction when none does.
RM_FILTER_ACTION Filtered(const Session& s, const Described& d) {
    for (const Filter& f : s.filters)
        if (Same(f.module, d.module) || Same(f.service, d.service) ||
            (f.module.empty() && f.service.empty() && Same(f.process, d.process)))
            return f.action;
    return RmInvalidFilterAction;
}

BOOL CALLBACK AddWindow(HWND window, LPARAM found) {
    auto* windows = reinterpret_cast<std::vector<HWND>*>(found);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == reinterpret_cast<DWORD_PTR>(windows->front()))
        windows->push_back(window);
    return TRUE;
}
std::vector<HWND> TopLevelWindows(const Described& d) {
    std::vector<HWND> windows = {reinterpret_cast<HWND>(DWORD_PTR(d.process.dwProcessId))};
    EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&windows));
    windows.erase(windows.begin());
    return windows;
}
// The window's answer; 0 when it gives none in time.
DWORD_PTR Send(HWND window, UINT message, WPARAM wParam) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window, message, wParam, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG,
                               kAnswerWaitMs, &answer)
               ? answer
               : 0;
}

} // namespace

DWORD WINAPI RmStartSession(DWORD* handle, DWORD, WCHAR key[]) {
    if (!handle || !key)
        return ERROR_BAD_ARGUMENTS;
    if (sessions.size() >= 64)
        return ERROR_MAX_SESSIONS_REACHED;
    *handle = nextHandle++;
    sessions[*handle] = Session();
    wsprintfW(key, L"%08lx%08lx%08lx%08lx", *handle, GetCurrentProcessId(), GetTickCount(),
              GetCurrentThreadId());
    return ERROR_SUCCESS;
}

DWORD WINAPI RmEndSession(DWORD handle) {
    return sessions.erase(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

DWORD WINAPI RmRegisterResources(DWORD handle, UINT nFiles, LPCWSTR files[], UINT nProcesses,
                                 RM_UNIQUE_PROCESS processes[], UINT nServices,
                                 LPCWSTR services[]) {
    Session* s = Find(handle);
    if (!s)
        return ERROR_INVALID_HANDLE;
    if ((nFiles && !files) || (nProcesses && !processes) || (nServices && !services))
        return ERROR_BAD_ARGUMENTS;
    s->files.insert(s->files.end(), files, files + nFiles);
    s->processes.insert(s->processes.end(), processes, processes + nProcesses);
    s->services.insert(s->services.end(), services, services + nServices);
    return ERROR_SUCCESS;
}

DWORD WINAPI RmGetList(DWORD handle, UINT* needed, UINT* count, RM_PROCESS_INFO apps[],
                       LPDWORD reasons) {
    Session* s = Find(handle);
    if (!s)
        return ERROR_INVALID_HANDLE;
    if (!needed || !count || !reasons || (*count && !apps))
        return ERROR_BAD_ARGUMENTS;
    Update(*s);
    *needed = static_cast<UINT>(s->listed.size());
    *reasons = RmRebootReasonNone;
    for (const Described& d : s->listed)
        *reasons |= d.status & RmStatusStopped ? 0 : Obstacle(d);
    if (*count < *needed) {
        *count = 0; // none filled in
        return ERROR_MORE_DATA;
    }
    for (UINT i = 0; i < *needed; ++i) {
        const Described& d = s->listed[i];
        apps[i] = RM_PROCESS_INFO();
        apps[i].Process = d.process;
        lstrcpynW(apps[i].strAppName, d.name.c_str(), CCH_RM_MAX_APP_NAME + 1);
        lstrcpynW(apps[i].strServiceShortName, d.service.c_str(), CCH_RM_MAX_SVC_NAME + 1);
        apps[i].ApplicationType = d.type;
        apps[i].AppStatus = d.status;
        apps[i].TSSessionId = d.session;
        apps[i].bRestartable = d.type == RmService || (d.restartable && d.type != RmCritical);
    }
    *count = *needed;
    return ERROR_SUCCESS;
}

DWORD WINAPI RmShutdown(DWORD handle, ULONG flags, RM_WRITE_STATUS_CALLBACK progress) {
    Session* s = Find(handle);
    if (!s)
        return ERROR_INVALID_HANDLE;
    if (flags)
        return ERROR_CALL_NOT_IMPLEMENTED; // no forced shutdown here
    Update(*s);
    s->shutDown = true;
    DWORD result = ERROR_SUCCESS;
    std::vector<Described*> todo;
    for (Described& d : s->listed) {
        if (d.status & RmStatusStopped)
            continue;
        d.status = RmStatusRunning;
        if (Filtered(*s, d) == RmNoShutdown)
            d.status |= RmStatusShutdownMasked;
        else if (d.type == RmCritical)
            return ERROR_FAIL_NOACTION_REBOOT;
        else if (!Running(d, true))
            d.status = RmStatusStoppedOther; // ended since a failed shutdown
        else
            todo.push_back(&d);
    }
    // Every window program is asked first; one that refuses cancels the shutdown of all.
    bool refused = false;
    for (Described* d : todo) {
        std::vector<HWND> windows;
        if ((d->type == RmMainWindow || d->type == RmOtherWindow) && !Obstacle(*d))
            windows = TopLevelWindows(*d);
        bool agrees = !windows.empty();
        for (HWND window : windows)
            agrees = agrees && Send(window, WM_QUERYENDSESSION, 0);
        refused = refused || (!windows.empty() && !agrees);
        d->status |= agrees ? 0 : RmStatusErrorOnStop;
        result = agrees ? result : ERROR_FAIL_SHUTDOWN;
    }
    std::erase_if(todo, [](Described* d) { return d->status != RmStatusRunning; });
    for (Described* d : refused ? todo : std::vector<Described*>())
        for (HWND window : TopLevelWindows(*d))
            Send(window, WM_ENDSESSION, FALSE);
    if (refused)
        return result;
    UINT done = 0;
    for (Described* d : todo) {
        HANDLE process = nullptr;
        Running(*d, true, &process);
        for (HWND window : TopLevelWindows(*d))
            Send(window, WM_ENDSESSION, TRUE);
        bool ended = !process || WaitForSingleObject(process, kEndSessionWaitMs) == WAIT_OBJECT_0;
        for (HWND window : ended ? std::vector<HWND>() : TopLevelWindows(*d))
            PostMessageW(window, WM_CLOSE, 0, 0);
        ended = ended || WaitForSingleObject(process, kCloseWaitMs) == WAIT_OBJECT_0;
        if (process)
            CloseHandle(process);
        d->status = ended ? RmStatusStopped : RmStatusRunning | RmStatusErrorOnStop;
        result = ended ? result : ERROR_FAIL_SHUTDOWN;
        if (progress)
            progress(++done * 100 / todo.size());
    }
    return result;
}

DWORD WINAPI RmRestart(DWORD handle, DWORD, RM_WRITE_STATUS_CALLBACK progress) {
    Session* s = Find(handle);
    if (!s)
        return ERROR_INVALID_HANDLE;
    if (!s->shutDown)
        return ERROR_REQUEST_OUT_OF_SEQUENCE;
    std::vector<Described*> todo; // in the reverse order of the shutdown
    for (auto d = s->listed.rbegin(); d != s->listed.rend(); ++d)
        if (d->status == RmStatusStopped)
            todo.push_back(&*d);
    DWORD result = ERROR_SUCCESS;
    UINT done = 0;
    for (Described* d : todo) {
        std::wstring line = d->command;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        if (Filtered(*s, *d) == RmNoRestart) {
            d->status |= RmStatusRestartMasked;
        } else if (d->restartable && !d->elevated && !line.empty() &&
                   CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &started)) {
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
            d->status |= RmStatusRestarted;
        } else {
            d->status |= RmStatusErrorOnRestart;
            result = ERROR_FAIL_RESTART;
        }
        if (progress)
            progress(++done * 100 / todo.size());
    }
    return result;
}

DWORD WINAPI RmRemoveFilter(DWORD handle, LPCWSTR module, RM_UNIQUE_PROCESS* process,
                            LPCWSTR service) {
    Session* s = Find(handle);
    if (!s)
        return ERROR_INVALID_HANDLE;
    if (!!module + !!process + !!service != 1)
        return ERROR_BAD_ARGUMENTS;
    std::erase_if(s->filters, [&](const Filter& f) {
        return module    ? Same(f.module, module)
               : service ? Same(f.service, service)
                         : f.module.empty() && f.service.empty() && Same(f.process, *process);
    });
    return ERROR_SUCCESS;
}

DWORD WINAPI RmAddFilter(DWORD handle, LPCWSTR module, RM_UNIQUE_PROCESS* process, LPCWSTR service,
                         RM_FILTER_ACTION action) {
    if (action != RmNoRestart && action != RmNoShutdown && Find(handle))
        return ERROR_BAD_ARGUMENTS;
    // The latest filter for a program, process or service replaces an earlier one.
    if (DWORD removed = RmRemoveFilter(handle, module, process, service))
        return removed;
    Find(handle)->filters.push_back(Filter{module ? module : L"", service ? service : L"",
                                           process ? *process : RM_UNIQUE_PROCESS(), action});
    return ERROR_SUCCESS;
}
