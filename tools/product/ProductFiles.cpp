// File and folder helpers of the simulated product: whole-file reads and writes,
// last-write times, folder creation and recursive deletion.
#include "Staging.h"

#include "upgrade/PathRules.h"

#include <cstdio>

namespace product {

namespace {

long long TicksOf(const FILETIME& time) {
    return (static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTimeOf(long long ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

bool IsLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

// Without separators at its end; a backslash that is the trail byte of a double-byte character
// of the code page stays.
std::string WithoutTrailingSeparator(std::string path) {
    while (path.size() > 3 && FolderOfPath(path, IsLeadByte).size() == path.size() - 1) {
        path.pop_back();
    }
    return path;
}

} // namespace

std::string ParentFolder(const std::string& path) {
    return FolderOfPath(path, IsLeadByte);
}

std::string ReadFileBytes(const std::string& path) {
    // Full sharing: a test that looks at files while Setup works must never
    // keep Setup from renaming or deleting them.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "";
    }
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    return CloseHandle(file) && ok;
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

long long FileTicks(const std::string& path) {
    // Attributes need no open handle, so this works on a file another program holds.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return TicksOf(data.ftLastWriteTime);
}

bool SetFileTicks(const std::string& path, long long ticks) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILETIME time = FileTimeOf(ticks);
    bool ok = SetFileTime(file, nullptr, nullptr, &time);
    return CloseHandle(file) && ok;
}

long long FileSeconds(const std::string& path) {
    long long ticks = FileTicks(path);
    return ticks < 0 ? -1 : ticks / kTicksPerSecond;
}

bool SetFileSeconds(const std::string& path, long long seconds) {
    return SetFileTicks(path, seconds * kTicksPerSecond);
}

bool MakeFolders(const std::string& path) {
    std::string folder = WithoutTrailingSeparator(path);
    if (folder.empty() || FolderExists(folder)) {
        return !folder.empty();
    }
    std::string parent = ParentFolder(folder);
    if (!parent.empty()) {
        MakeFolders(parent);
    }
    return CreateDirectoryA(folder.c_str(), nullptr) || FolderExists(folder);
}

namespace {
// Deletes the file or folder tree at `target`, a wide path in the form that takes any length.
bool DeleteWideTree(const std::wstring& target) {
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(target.c_str());
        return GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((target + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                DeleteWideTree(target + L"\\" + name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryW(target.c_str());
    return GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES;
}
} // namespace

bool DeleteTree(const std::string& path) {
    // The tree may hold paths longer than the 8-bit functions take (Setup's log in a temporary
    // folder near the limit, say): it is walked with the wide functions, in the "\\?\" form.
    std::string target = WithoutTrailingSeparator(path);
    std::wstring wide(target.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, target.data(), static_cast<int>(target.size()),
                                    &wide[0], static_cast<int>(wide.size())));
    const bool drivePath = wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\';
    if (DeleteWideTree(drivePath ? L"\\\\?\\" + wide : wide))
        return true;
    // A symbolic link made on the Linux side (as the tests plant them) that leads nowhere is
    // beyond Wine's own functions: the tree goes on the Linux side.
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(wide.c_str()) : nullptr;
    if (!name)
        return false;
    std::string command = std::string("/bin/rm -rf ") + name;
    HeapFree(GetProcessHeap(), 0, name);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine cannot wait on a Linux process: the tree is gone once Wine no longer finds it.
    for (int tries = 0; tries < 300; ++tries, Sleep(100))
        if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES)
            return true;
    return false;
}

bool MakeLink(const std::string& target, const std::string& link, bool symbolic) {
    if (!symbolic)
        return ::CreateHardLinkA(link.c_str(), target.c_str(), nullptr) != FALSE;
    // Wine's own kernel32 names a file's Linux path, and starts Linux programs.
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName)
        return false;
    std::string command = "/bin/ln -s";
    for (const std::string& path : {target, link}) {
        std::wstring wide(path.begin(), path.end());
        char* name = unixName(wide.c_str());
        if (!name)
            return false;
        command += std::string(" ") + name;
        ::HeapFree(::GetProcessHeap(), 0, name);
    }
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    // Wine cannot wait on a Linux process: the link is made once Wine finds the file it leads to
    // under its name.
    for (int tries = 0; tries < 300; ++tries, ::Sleep(100))
        if (::GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
    return false;
}

std::string Printable(const std::string& bytes, bool lineBreaks) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (lineBreaks && c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            text += "\n";
            ++i;
        } else if (c >= 0x20 && c < 0x7F && (lineBreaks || c != '\\')) {
            text.push_back(static_cast<char>(c));
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

} // namespace product
