// Starting, watching and ending the program under test, and the bounded wait all waits use.
#include "UiDriver.h"

#include <cwchar>
#include <utility>

namespace uidriver {

namespace {

// How long Kill waits for a terminated process to be gone.
constexpr DWORD kKillWaitMs = 10000;

// Whether `entry` ("NAME=value") sets the variable `name` (names compare without case, as
// Windows does).
bool SetsVariable(const std::wstring& entry, const std::wstring& name) {
    return entry.size() > name.size() && entry[name.size()] == L'=' &&
           _wcsnicmp(entry.c_str(), name.c_str(), name.size()) == 0;
}

// The inherited environment block with `extra` merged in, as a double-zero-terminated block.
std::wstring MergedEnvironment(const std::vector<EnvironmentVariable>& extra) {
    std::vector<std::wstring> entries;
    wchar_t* inherited = ::GetEnvironmentStringsW();
    if (inherited) {
        for (const wchar_t* p = inherited; *p; p += std::wcslen(p) + 1)
            entries.emplace_back(p);
        ::FreeEnvironmentStringsW(inherited);
    }
    for (const EnvironmentVariable& variable : extra) {
        std::vector<std::wstring> kept;
        for (const std::wstring& entry : entries) {
            if (!SetsVariable(entry, variable.name))
                kept.push_back(entry);
        }
        kept.push_back(variable.name + L"=" + variable.value);
        entries.swap(kept);
    }
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry;
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

} // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs) {
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount64() >= deadline)
            return condition();
        ::Sleep(pollMs);
    }
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty())
        return std::wstring();
    int length =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], length);
    return text;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty())
        return std::string();
    int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length,
                          nullptr, nullptr);
    return utf8;
}

Process::Process(Process&& other) noexcept
    : m_process(std::exchange(other.m_process, nullptr)), m_id(std::exchange(other.m_id, 0)),
      m_startError(std::exchange(other.m_startError, 0)) {
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Kill();
        Close();
        m_process = std::exchange(other.m_process, nullptr);
        m_id = std::exchange(other.m_id, 0);
        m_startError = std::exchange(other.m_startError, 0);
    }
    return *this;
}

Process::~Process() {
    Kill();
    Close();
}

Process Process::Start(const std::wstring& exe, const std::wstring& arguments,
                       const StartOptions& options) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    return StartWithCommandLine(exe, commandLine, options);
}

Process Process::StartWithCommandLine(const std::wstring& exe, const std::wstring& commandLine,
                                      const StartOptions& options) {
    Process started;
    std::wstring mutableLine = commandLine; // CreateProcessW may write to it
    std::wstring environment;
    DWORD flags = options.suspended ? CREATE_SUSPENDED : 0;
    if (!options.environment.empty()) {
        environment = MergedEnvironment(options.environment);
        flags |= CREATE_UNICODE_ENVIRONMENT;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    const wchar_t* directory =
        options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str();
    BOOL ok = ::CreateProcessW(
        exe.c_str(), &mutableLine[0], nullptr, nullptr, options.inheritHandles ? TRUE : FALSE,
        flags, environment.empty() ? nullptr : &environment[0], directory, &startup, &info);
    if (!ok) {
        started.m_startError = ::GetLastError();
        return started;
    }
    ::CloseHandle(info.hThread);
    started.m_process = info.hProcess;
    started.m_id = info.dwProcessId;
    return started;
}

bool Process::IsRunning() const {
    return m_process && ::WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

bool Process::WaitForExit(DWORD timeoutMs, const std::function<void()>& whileWaiting) const {
    if (!m_process)
        return true;
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (whileWaiting)
            whileWaiting();
        ULONGLONG now = ::GetTickCount64();
        DWORD slice = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        if (whileWaiting && slice > kPollMs)
            slice = kPollMs;
        if (::WaitForSingleObject(m_process, slice) == WAIT_OBJECT_0)
            return true;
        if (::GetTickCount64() >= deadline)
            return false;
    }
}

std::optional<DWORD> Process::ExitCode() const {
    DWORD code = 0;
    if (!m_process || IsRunning() || !::GetExitCodeProcess(m_process, &code))
        return std::nullopt;
    return code;
}

void Process::Kill() {
    if (!IsRunning())
        return;
    ::TerminateProcess(m_process, 0xDEAD);
    ::WaitForSingleObject(m_process, kKillWaitMs);
}

void Process::Close() {
    if (m_process)
        ::CloseHandle(m_process);
    m_process = nullptr;
}

} // namespace uidriver
