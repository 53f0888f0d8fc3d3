#include "app/SetupLog.h"

#include "framework/AfxFile.h"

namespace {
constexpr LONGLONG kLongestLog = 1 << 20;
const wchar_t kLogName[] = L"QuilloSetup.log";
const wchar_t kOldLogName[] = L"QuilloSetup.old.log";

// "YYYY-MM-DD hh:mm:ss", local time.
std::string Now() {
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    char text[32];
    wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
              time.wMinute, time.wSecond);
    return text;
}
} // namespace

SetupLog::SetupLog() {
    const std::wstring folder = AfxTemporaryFolder();
    if (folder.empty())
        return;
    const std::wstring path = folder + kLogName;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        ((static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) > kLongestLog)
        ::MoveFileExW(path.c_str(), (folder + kOldLogName).c_str(), MOVEFILE_REPLACE_EXISTING);
    // Others may read the log while Setup writes it, and a second Setup (which only says that it
    // found the first) may append to it too: each line is one appending write.
    m_file.Reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (m_file && ::GetFileSizeEx(m_file.Get(), &size) && size.QuadPart == 0) {
        DWORD written = 0;
        ::WriteFile(m_file.Get(), "\xEF\xBB\xBF", 3, &written, nullptr);
    }
}

void SetupLog::Line(const CString& text) {
    Line(WideText(text.Str()));
}

void SetupLog::Line(const std::wstring& text) {
    if (!m_file)
        return;
    const std::string line = Now() + "  " + CodePageText(text, CP_UTF8) + "\r\n";
    DWORD written = 0;
    ::WriteFile(m_file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
