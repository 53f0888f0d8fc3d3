#include "run/SetupLog.h"

#include "framework/AfxApp.h"
#include "framework/AfxFile.h"
#include "upgrade/FileOps.h"
#include "run/LogRules.h"

#include <cstring>
#include <vector>

namespace {
// How many of Setup's own logs stay in its log folder, this run's included.
constexpr size_t kKeptLogs = 10;
// "QuilloSetup-", 8 digits, "-", 6 digits, "-", the run's number of 1 to 3 digits, ".log".
constexpr wchar_t kLogPrefix[] = L"QuilloSetup-";
constexpr size_t kLongestLogName = 12 + 8 + 1 + 6 + 1 + 3 + 4;
// The first bytes of every log Setup writes: the byte-order mark and Setup's header line. Only a
// file that begins so is one of Setup's logs, whatever its name.
constexpr char kHeader[] = "\xEF\xBB\xBFQuillo Setup log\r\n";

// The log open now, for the last line of a fatal end.
HANDLE g_openLog = INVALID_HANDLE_VALUE;

// "YYYY-MM-DD hh:mm:ss  ", local time, into `text`; its length.
int Now(char (&text)[32]) {
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    return wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u  ", time.wYear, time.wMonth, time.wDay,
                     time.wHour, time.wMinute, time.wSecond);
}

void Write(HANDLE file, const char* bytes, DWORD size) {
    // A line that cannot be written is lost; the run goes on.
    DWORD written = 0;
    (void)::WriteFile(file, bytes, size, &written, nullptr);
}

// Whether the error of a file that could not be made says that its name is taken (by a file, a
// folder, a link, a file being deleted), so that another name may do.
bool NameTaken(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
           error == ERROR_ACCESS_DENIED;
}

// Whether this process runs elevated, as its manifest asks (a run that is not is a user's own).
bool RunsElevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const bool elevated =
        ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated;
    ::CloseHandle(token);
    return elevated;
}

// %WINDIR%\Logs\QuilloSetup\, made when missing (it takes the access rules of Windows' Logs folder:
// only SYSTEM and administrators write there); "" when it cannot be made or is not a real folder
// (a link or a junction put there is never written through). (Wine shows a symbolic link made on
// the Linux side as the folder it leads to; Windows lets no standard user make one there.)
std::wstring AdministratorsLogFolder() {
    wchar_t windows[MAX_PATH];
    const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    // (A Windows folder at a drive's root, C:\, gives C:\\Logs, which Windows reads as C:\Logs.)
    std::wstring folder = std::wstring(windows, length) + L"\\Logs";
    (void)::CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\QuilloSetup";
    (void)::CreateDirectoryW(folder.c_str(), nullptr);
    const FileHandle opened =
        OpenToLookAt(folder, FILE_READ_ATTRIBUTES, FILE_FLAG_OPEN_REPARSE_POINT);
    BY_HANDLE_FILE_INFORMATION info;
    if (!opened || !::GetFileInformationByHandle(opened.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            FILE_ATTRIBUTE_DIRECTORY)
        return {};
    return folder + L"\\";
}

// Setup's log folder with its final separator: the administrators' one for an elevated run, the
// temporary folder for any other (in its short form when too long for the log's name). "" when
// there is none.
std::wstring LogFolder() {
    if (RunsElevated())
        return AdministratorsLogFolder();
    return FolderWithinLength(AfxTemporaryFolder(), kLongestPath - kLongestLogName);
}

// Whether the file at `path` begins with Setup's header. It is only read: whether it is a plain
// file (never a link) the folder's listing tells, and a deletion checks again.
bool BeginsWithHeader(const std::wstring& path) {
    const FileHandle file = OpenToLookAt(path, GENERIC_READ, FILE_FLAG_OPEN_REPARSE_POINT);
    char first[sizeof kHeader - 1];
    DWORD read = 0;
    return file && ::ReadFile(file.Get(), first, sizeof first, &read, nullptr) &&
           read == sizeof first && std::memcmp(first, kHeader, sizeof first) == 0;
}

// Deletes Setup's own logs in `folder` until kKeptLogs are left, the oldest by their last-write
// time first. Only a plain file of Setup's naming that begins with Setup's header is one: a name
// is no proof. A folder, a link or a file Setup did not write is passed over, and so is a log
// that cannot be deleted now (a later run deletes it).
void DeleteOlderLogs(const std::wstring& folder) {
    std::vector<FoundLog> found;
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((folder + kLogPrefix + L"*.log").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        found.emplace_back();
        FoundLog& log = found.back();
        log.name = entry.cFileName;
        log.lastWrite =
            (static_cast<unsigned long long>(entry.ftLastWriteTime.dwHighDateTime) << 32) |
            entry.ftLastWriteTime.dwLowDateTime;
        log.plainFile =
            !(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
        log.setupsHeader = log.plainFile && BeginsWithHeader(folder + log.name);
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    for (size_t i = 0; i < found.size(); ++i)
        if (const CString path = AnsiPathOf(folder + found[i].name);
            IsOlderLog(found, i, kKeptLogs) && !path.IsEmpty())
            (void)RemoveFile(path, kTryOnce);
}
} // namespace

Result SetupLog::Open(const std::wstring& file) {
    if (!file.empty() && RefusedLogName(file))
        return Failed(CodePageText(file, CP_ACP), ERROR_INVALID_NAME);
    const std::wstring folder = file.empty() ? LogFolder() : std::wstring();
    if (file.empty() && folder.empty())
        return Failed("Setup's log folder", ERROR_PATH_NOT_FOUND);
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    // The run's number tells apart the names that are taken already.
    DWORD error = ERROR_FILE_EXISTS;
    for (int number = 1; !m_file && NameTaken(error) && number < (file.empty() ? 1000 : 100);
         ++number) {
        wchar_t name[48] = {};
        if (!file.empty() && number > 1)
            wsprintfW(name, L".%d", number);
        else if (file.empty())
            wsprintfW(name, L"%s%04u%02u%02u-%02u%02u%02u-%d.log", kLogPrefix, time.wYear,
                      time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond, number);
        error = AfxCreateNewFile((file.empty() ? folder : file) + name, GENERIC_WRITE,
                                 FILE_SHARE_READ, &m_file)
                    .code;
    }
    if (!m_file)
        return Failed(CodePageText(file.empty() ? folder : file, CP_ACP), error);
    Write(m_file.Get(), kHeader, sizeof kHeader - 1);
    if (file.empty())
        DeleteOlderLogs(folder);
    g_openLog = m_file.Get();
    AfxSetFatalNote(NoteFatalEnd);
    return {};
}

bool SetupLog::LiesInTree(const std::wstring& file, const CString& installBase) {
    if (installBase.IsEmpty())
        return false;
    std::wstring full(32768, L'\0');
    const DWORD length = ::GetFullPathNameW(file.c_str(), 32768, &full[0], nullptr);
    full.resize(length < 32768 ? length : 0);
    const size_t cut = full.find_last_of(L"\\/");
    const CString folder = cut == std::wstring::npos ? CString() : AnsiPathOf(full.substr(0, cut));
    return folder.IsEmpty() || LiesWithin(folder, installBase);
}

void TellStandardError(const std::wstring& text) {
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE ||
        ::GetFileType(error) == FILE_TYPE_UNKNOWN)
        return;
    const std::string line = CodePageText(text, CP_UTF8) + "\r\n";
    Write(error, line.data(), static_cast<DWORD>(line.size()));
}

SetupLog::~SetupLog() {
    if (m_file) {
        AfxSetFatalNote(nullptr);
        g_openLog = INVALID_HANDLE_VALUE;
    }
}

void SetupLog::NoteFatalEnd() {
    static const char kLine[] = "Setup ended on a fault it could not carry on from; nothing more "
                                "was done. Exit code 1603\r\n";
    if (g_openLog == INVALID_HANDLE_VALUE)
        return;
    char now[32];
    Write(g_openLog, now, static_cast<DWORD>(Now(now)));
    Write(g_openLog, kLine, sizeof kLine - 1);
}

void SetupLog::Line(const CString& text) {
    Line(WideText(text.Str()));
}

void SetupLog::Line(const char* what, const Result& why) {
    Line(what + (why.path.IsEmpty() ? CString() : why.path + ": ") + SystemErrorText(why.code));
}

void SetupLog::Line(const std::wstring& text) {
    if (!m_file)
        return;
    char now[32];
    const std::string line =
        std::string(now, static_cast<size_t>(Now(now))) + CodePageText(text, CP_UTF8) + "\r\n";
    Write(m_file.Get(), line.data(), static_cast<DWORD>(line.size()));
}
