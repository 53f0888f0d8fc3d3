#include "run/SetupLog.h"

#include "framework/AfxApp.h"
#include "framework/AfxFile.h"
#include "upgrade/FileOps.h"

namespace {
// How many of Setup's own logs stay in the temporary folder, this run's included.
constexpr size_t kKeptLogs = 10;
// "QuilloSetup-", 8 digits, "-", 6 digits, "-", the run's number of 1 or 2 digits, ".log".
constexpr wchar_t kLogPrefix[] = L"QuilloSetup-";
constexpr size_t kLongestLogName = 12 + 8 + 1 + 6 + 1 + 2 + 4;

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

// Whether `name` is one of Setup's own logs: the order of two such names is that of their runs.
bool IsOwnLog(const std::wstring& name) {
    if (name.size() < kLongestLogName - 1 || name.size() > kLongestLogName ||
        name.compare(0, 12, kLogPrefix) != 0 || name.compare(name.size() - 4, 4, L".log") != 0 ||
        name[20] != L'-' || name[27] != L'-')
        return false;
    for (size_t i = 12; i < name.size() - 4; ++i)
        if (i != 20 && i != 27 && (name[i] < L'0' || name[i] > L'9'))
            return false;
    return true;
}

// Whether own log `a` is of an earlier run than own log `b`: by the run's time, then its number
// (one digit before two).
bool Earlier(const std::wstring& a, const std::wstring& b) {
    const int time = a.compare(0, 28, b, 0, 28);
    return time != 0 ? time < 0 : a.size() != b.size() ? a.size() < b.size() : a < b;
}

// Deletes Setup's own logs in `folder`, the earliest first, until kKeptLogs are left: plain files
// only, by their 8-bit names (a folder the code page cannot spell keeps its logs).
void DeleteOlderLogs(const std::wstring& folder) {
    for (;;) {
        size_t count = 0;
        std::wstring earliest;
        WIN32_FIND_DATAW found;
        HANDLE search = ::FindFirstFileW((folder + kLogPrefix + L"*.log").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return;
        do {
            if (IsOwnLog(found.cFileName) && (count++ == 0 || Earlier(found.cFileName, earliest)))
                earliest = found.cFileName;
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
        const CString path = AnsiPathOf(folder + earliest);
        // A log that cannot be deleted now is deleted by a later run.
        if (count <= kKeptLogs || path.IsEmpty() || !RemoveFile(path, kTryOnce))
            return;
    }
}
} // namespace

void SetupLog::Open(const std::wstring& file) {
    // The given file, or Setup's own name in the temporary folder; a folder too long for the
    // log's name is taken in its short form, as Windows requires.
    std::wstring folder;
    if (file.empty()) {
        folder = AfxTemporaryFolder();
        if (folder.size() + kLongestLogName > kLongestPath)
            folder = AfxShortPathOf(folder);
        if (folder.empty() || folder.size() + kLongestLogName > kLongestPath)
            return;
    }
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    // The run's number tells apart the names that are taken already.
    for (int number = 1; !m_file && number < 100; ++number) {
        wchar_t name[48] = {};
        if (!file.empty() && number > 1)
            wsprintfW(name, L".%d", number);
        else if (file.empty())
            wsprintfW(name, L"%s%04u%02u%02u-%02u%02u%02u-%d.log", kLogPrefix, time.wYear,
                      time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond, number);
        (void)AfxCreateNewFile((file.empty() ? folder : file) + name, GENERIC_WRITE,
                               FILE_SHARE_READ, &m_file);
    }
    if (!m_file)
        return;
    if (file.empty())
        DeleteOlderLogs(folder);
    Write(m_file.Get(), "\xEF\xBB\xBF", 3);
    g_openLog = m_file.Get();
    AfxSetFatalNote(NoteFatalEnd);
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

void SetupLog::Line(const std::wstring& text) {
    if (!m_file)
        return;
    char now[32];
    const std::string line =
        std::string(now, static_cast<size_t>(Now(now))) + CodePageText(text, CP_UTF8) + "\r\n";
    Write(m_file.Get(), line.data(), static_cast<DWORD>(line.size()));
}
