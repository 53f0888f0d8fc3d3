#include "BenchSupport.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace bench {

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    if (values.size() % 2 == 1)
        return values[middle];
    return (values[middle - 1] + values[middle]) / 2;
}

double MedianRatio(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (b[i] > 0)
            ratios.push_back(a[i] / b[i]);
    }
    return Median(ratios);
}

std::string ListMs(const std::vector<double>& seconds) {
    std::string text;
    for (double value : seconds) {
        if (!text.empty())
            text += ' ';
        text += Format("%.1f", value * 1000);
    }
    return text;
}

std::string Format(const char* format, ...) {
    char buffer[2048];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    return buffer;
}

void Figure(const std::string& name, double measured, double limit, const std::string& unit,
            const std::string& how) {
    std::printf("figure\t%s\t%.4f\t%.4f\t%s\t%s\n", name.c_str(), measured, limit, unit.c_str(),
                how.c_str());
    std::fflush(stdout);
}

void RatioFigure(const std::string& name, const std::vector<double>& contender,
                 const std::vector<double>& baseline, double limit, const std::string& more) {
    const double a = Median(contender), b = Median(baseline);
    Figure(name, MedianRatio(contender, baseline), limit, "x",
           Format("median of %d paired ratios; medians %.1f ms / %.1f ms, their ratio %.2f",
                  static_cast<int>(std::min(contender.size(), baseline.size())), a * 1000, b * 1000,
                  b > 0 ? a / b : 0.0) +
               (more.empty() ? "" : "; " + more));
}

void Detail(const std::string& text) {
    std::printf("detail\t%s\n", text.c_str());
    std::fflush(stdout);
}

void Progress(const std::string& text) {
    // Standard output, since the standard error of programs under tools/wine-run.sh is lost.
    std::printf("progress\t%s\n", text.c_str());
    std::fflush(stdout);
}

void TracedStart(const std::string& program, DWORD processId, DWORD createdTick, DWORD shownTick) {
    std::printf("trace\t%s\t%04lx\t%lu\t%lu\n", program.c_str(), processId, createdTick, shownTick);
    std::fflush(stdout);
}

void Problem(const std::string& text) {
    Detail("PROBLEM: " + text);
}

std::string OwnPath() {
    char path[MAX_PATH];
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

std::string OwnFolder() {
    std::string path = OwnPath();
    size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

namespace {

bool FlushOpenFile(const std::string& path, long long ticks) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    if (ticks >= 0) {
        FILETIME time;
        time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
        time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
        ok = ::SetFileTime(file, nullptr, nullptr, &time) != FALSE;
    }
    ok = ::FlushFileBuffers(file) && ok;
    return ::CloseHandle(file) && ok;
}

} // namespace

bool WriteAndFlush(const std::string& path, const std::string& bytes) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    ok = ::FlushFileBuffers(file) && ok;
    return ::CloseHandle(file) && ok;
}

bool CopyAndFlush(const std::string& from, const std::string& to, long long ticks) {
    if (!::CopyFileA(from.c_str(), to.c_str(), FALSE))
        return false;
    return FlushOpenFile(to, ticks);
}

long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string PatternBytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    // xorshift32: cheap, and its output neither compresses nor repeats within the sizes used.
    unsigned state = 2463534242u ^ (seed * 2654435761u);
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        std::memcpy(&bytes[i], &state, 4);
    }
    for (; i < size; ++i)
        bytes[i] = static_cast<char>(i);
    return bytes;
}

std::vector<std::vector<double>> Interleave(const std::vector<Job>& jobs, int repetitions) {
    std::vector<std::vector<double>> times(jobs.size());
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        for (size_t k = 0; k < jobs.size(); ++k) {
            size_t job = (k + static_cast<size_t>(repetition)) % jobs.size();
            times[job].push_back(jobs[job].run());
        }
    }
    return times;
}

} // namespace bench
