#include "upgrade/SetupLog.h"

#include "framework/AfxApp.h"
#include "framework/AfxFile.h"
#include "upgrade/PathRules.h"

namespace {
constexpr LONGLONG kLongestLog = 1 << 20;
const wchar_t kLogName[] = L"QuilloSetup.log";
const wchar_t kOldLogName[] = L"QuilloSetup.old.log";

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
} // namespace

SetupLog::SetupLog(bool open) {
    if (!open)
        return;
    // A folder too long for the log's name is taken in its short form, as Windows requires.
    std::wstring folder = AfxTemporaryFolder();
    if (folder.size() + wcslen(kOldLogName) > kLongestPath)
        folder = AfxShortPathOf(folder);
    if (folder.empty() || folder.size() + wcslen(kOldLogName) > kLongestPath)
        return;
    const std::wstring path = folder + kLogName;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        ((static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) > kLongestLog)
        (void)::MoveFileExW(path.c_str(), (folder + kOldLogName).c_str(),
                            MOVEFILE_REPLACE_EXISTING);
    // Others may read the log while Setup writes it, and a second Setup (which only says that it
    // found the first) may append to it too: each line is one appending write.
    m_file.Reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (m_file && ::GetFileSizeEx(m_file.Get(), &size) && size.QuadPart == 0)
        Write(m_file.Get(), "\xEF\xBB\xBF", 3);
    g_openLog = m_file.Get();
    AfxSetFatalNote(NoteFatalEnd);
}

SetupLog::~SetupLog() {
    AfxSetFatalNote(nullptr);
    g_openLog = INVALID_HANDLE_VALUE;
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
