#include "self_removal_support.h"

#include "Staging.h"

#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstddef>

namespace selfremoval {

namespace {

// How long a watched child is given to be gone once it was ended.
constexpr DWORD kKillWaitMs = 10000;
// Rights a watch needs on a child: wait for it, end it, read its program path and its memory.
constexpr DWORD kChildAccess = SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION |
                               PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ;

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void CollectTree(const std::string& folder, const std::string& relative,
                 std::map<std::string, std::string>* contents) {
    for (const std::string& name : FolderEntries(folder + relative)) {
        std::string path = relative + "\\" + name;
        if (product::FolderExists(folder + path)) {
            (*contents)[path + "\\"] = "";
            CollectTree(folder, path, contents);
        } else {
            (*contents)[path] = product::ReadFileBytes(folder + path);
        }
    }
}

std::string ImagePath(HANDLE process) {
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!::QueryFullProcessImageNameW(process, 0, path, &size))
        return std::string();
    return uidriver::Narrow(std::wstring(path, size));
}

// Reads `size` bytes at `address` of another process; false unless all were read.
bool ReadRemote(HANDLE process, const void* address, void* buffer, size_t size) {
    SIZE_T read = 0;
    return ::ReadProcessMemory(process, address, buffer, size, &read) && read == size;
}

// Whether `path` ends with the file name `name`, compared without regard to case.
bool EndsWithName(const std::string& path, const std::string& name) {
    return path.size() >= name.size() &&
           Lower(path.substr(path.size() - name.size())) == Lower(name) &&
           (path.size() == name.size() || path[path.size() - name.size() - 1] == '\\');
}

// Wine starts its own system processes (services.exe, plugplay.exe, ...) on demand from whichever
// process first needs them, the installer included: they are not the installer's doing.
bool IsSystemProcess(const wchar_t* exeName) {
    const wchar_t* const names[] = {L"services.exe", L"plugplay.exe", L"winedevice.exe",
                                    L"explorer.exe", L"rpcss.exe",    L"svchost.exe",
                                    L"conhost.exe",  L"wineboot.exe", L"start.exe"};
    for (const wchar_t* name : names) {
        if (_wcsicmp(exeName, name) == 0)
            return true;
    }
    return false;
}

void EndAndWait(HANDLE process) {
    if (process && ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process, 0xDEAD);
        ::WaitForSingleObject(process, kKillWaitMs);
    }
}

} // namespace

std::string TestRoot() {
    return CurrentTestFolder("self_removal");
}

std::string PathOfLength(const std::string& parent, const std::string& stem, size_t length) {
    std::string path = parent + "\\" + stem;
    if (length == 0)
        return path;
    if (path.size() > length) {
        ADD_FAILURE() << path << " is already longer than " << length << " characters";
        return path;
    }
    path.append(length - path.size(), 'x');
    return path;
}

std::map<std::string, std::string> TreeContents(const std::string& folder) {
    std::map<std::string, std::string> contents;
    CollectTree(folder, "", &contents);
    return contents;
}

bool IsTemporaryCopyName(const std::string& name) {
    std::string lower = Lower(name);
    return lower.size() > 7 && lower.compare(0, 3, "del") == 0 &&
           lower.compare(lower.size() - 4, 4, ".tmp") == 0;
}

std::vector<std::string> TemporaryCopies(const std::string& folder) {
    std::vector<std::string> copies;
    for (const std::string& name : FolderEntries(folder)) {
        if (IsTemporaryCopyName(name))
            copies.push_back(name);
    }
    return copies;
}

bool SamePath(const std::string& a, const std::string& b) {
    return Lower(a) == Lower(b);
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text.empty() ? "  (none)\n" : text;
}

std::vector<std::string> VisibleWindows(DWORD processId) {
    std::vector<std::string> windows;
    for (HWND window : uidriver::TopLevelWindows(processId)) {
        windows.push_back(uidriver::Narrow(uidriver::WindowClass(window)) + " \"" +
                          uidriver::Narrow(uidriver::WindowText(window)) + "\"");
    }
    return windows;
}

std::optional<std::vector<std::string>> CommandLineArguments(HANDLE process) {
    // The command line lies in the process parameters the process environment block points
    // to; both processes are 32-bit, so the layouts of this program apply.
    PROCESS_BASIC_INFORMATION basic = {};
    ULONG returned = 0;
    if (::NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                    &returned) != 0 ||
        !basic.PebBaseAddress)
        return std::nullopt;
    RTL_USER_PROCESS_PARAMETERS* parameters = nullptr;
    const char* peb = reinterpret_cast<const char*>(basic.PebBaseAddress);
    if (!ReadRemote(process, peb + offsetof(PEB, ProcessParameters), &parameters,
                    sizeof parameters) ||
        !parameters)
        return std::nullopt;
    UNICODE_STRING line = {};
    const char* block = reinterpret_cast<const char*>(parameters);
    if (!ReadRemote(process, block + offsetof(RTL_USER_PROCESS_PARAMETERS, CommandLine), &line,
                    sizeof line) ||
        !line.Buffer)
        return std::nullopt;
    std::wstring text(line.Length / sizeof(wchar_t), L'\0');
    if (!text.empty() && !ReadRemote(process, line.Buffer, &text[0], line.Length))
        return std::nullopt;

    int count = 0;
    LPWSTR* split = ::CommandLineToArgvW(text.c_str(), &count);
    if (!split)
        return std::nullopt;
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(uidriver::Narrow(split[i]));
    ::LocalFree(split);
    return arguments;
}

ChildWatch::~ChildWatch() {
    for (HANDLE handle : m_handles) {
        EndAndWait(handle);
        if (handle)
            ::CloseHandle(handle);
    }
}

void ChildWatch::Look() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
             more = ::Process32NextW(snapshot, &entry)) {
            if (entry.th32ParentProcessID != m_parentId || entry.th32ProcessID == m_parentId ||
                IsSystemProcess(entry.szExeFile))
                continue;
            auto known = std::find_if(m_seen.begin(), m_seen.end(), [&](const SeenChild& child) {
                return child.id == entry.th32ProcessID;
            });
            if (known == m_seen.end()) {
                SeenChild child;
                child.id = entry.th32ProcessID;
                HANDLE handle = ::OpenProcess(kChildAccess, FALSE, child.id);
                child.opened = handle != nullptr;
                m_seen.push_back(child);
                m_handles.push_back(handle);
                known = m_seen.end() - 1;
            }
            // A process that has just been created has no name in the list yet.
            if (known->exeName.empty())
                known->exeName = uidriver::Narrow(entry.szExeFile);
        }
        ::CloseHandle(snapshot);
    }
    for (size_t i = 0; i < m_seen.size(); ++i) {
        HANDLE handle = m_handles[i];
        SeenChild& child = m_seen[i];
        // Its program path and command line are read as soon as it has started up, which its
        // name in the list tells: under Wine the memory of a process that is still being
        // created can give another process's command line.
        if (handle && !child.exeName.empty() && child.imagePath.empty())
            child.imagePath = ImagePath(handle);
        if (handle && !child.exeName.empty() && !child.arguments) {
            child.arguments = CommandLineArguments(handle);
            // Under load Wine may still give another process's command line (the test's own,
            // say) for a moment: only one whose program is this child's is taken.
            if (child.arguments && (child.arguments->empty() ||
                                    !EndsWithName(child.arguments->front(), child.exeName)))
                child.arguments.reset();
        }
        if (handle && ::WaitForSingleObject(handle, 0) != WAIT_TIMEOUT)
            continue;
        for (const std::string& window : VisibleWindows(child.id)) {
            std::string line = child.exeName + ": " + window;
            if (std::find(m_windows.begin(), m_windows.end(), line) == m_windows.end())
                m_windows.push_back(line);
        }
    }
}

std::optional<DWORD> ChildWatch::ExitCode(size_t index) const {
    DWORD code = 0;
    HANDLE handle = m_handles[index];
    if (!handle || !::GetExitCodeProcess(handle, &code) || code == STILL_ACTIVE)
        return std::nullopt;
    return code;
}

bool ChildWatch::AllEnded() const {
    for (HANDLE handle : m_handles) {
        if (handle && ::WaitForSingleObject(handle, 0) != WAIT_OBJECT_0)
            return false;
    }
    return true;
}

void OwnedHandle::Reset(HANDLE handle) {
    if (m_handle && m_handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_handle);
    m_handle = handle;
}

std::string HandleText(HANDLE handle) {
    return std::to_string(static_cast<long>(reinterpret_cast<intptr_t>(handle)));
}

HANDLE InheritableDuplicate(HANDLE handle, DWORD access) {
    HANDLE duplicate = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &duplicate, access,
                           TRUE, 0))
        return nullptr;
    return duplicate;
}

} // namespace selfremoval
