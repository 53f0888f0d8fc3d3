// Application-list registration on list files of about 10 MB and 100 MB, timed side by side with
// reading and writing the same file once through plain Win32 calls, and its peak memory measured
// in fresh child processes.
#include "BenchSupport.h"
#include "Benchmarks.h"

#include "ProductRegistry.h"
#include "Staging.h"
#include "upgrade/AppListRegistration.h"
#include "upgrade/AppListRewrite.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace bench {

namespace {

constexpr char kEntry[] = "Pack07up02.exe";
constexpr char kProductInfo[] = "Quillo Pro 4.5";
constexpr int kTimedRepetitions = 11;
// About 100,000 entries of about 100 bytes; the large list is ten times this size.
constexpr size_t kSmallListSize = 10000000;
constexpr int kMemoryRepetitions = 3;

// One list file: its install base, the file the registration edits, and a pristine copy that
// restores it before every repetition.
struct ListCase {
    std::string name;
    int entries = 0;
    std::string installBase;
    std::string listPath;
    std::string pristinePath;
    std::string copyPath; // the new file the baseline writes, beside the list
    std::string bytes;    // the pristine content
};

std::string CaseRoot() {
    return std::string(kBenchRoot) + "\\applist";
}

// A list file as the product keeps it: a 16-byte prefix, the entry count, filler, "[LIST]" and
// numbered entries of about 100 bytes each, as many as fit in `size` bytes.
std::string MakeListBytes(size_t size, int* entriesMade) {
    std::string bytes = "QuilloModList\x01\x02";
    bytes.push_back('\0'); // 16 bytes, a zero byte among them
    std::string list = "[LIST]\r\n";
    list.reserve(size);
    int entries = 0;
    for (;;) {
        std::string n = std::to_string(entries + 1);
        std::string entry = "name" + n + "=Quillo dictionary module " + n +
                            ", English-Chinese\r\n" + "url" + n + "=QuilloHub\\modules\\mod" + n +
                            ".exe\r\n";
        if (bytes.size() + 40 + list.size() + entry.size() > size)
            break;
        list += entry;
        ++entries;
    }
    bytes += std::to_string(entries) + "\r\n\r\n" + std::string(25, ' ') + "\r\n\r\n" + list;
    *entriesMade = entries;
    return bytes;
}

ListCase PrepareCase(const std::string& name, size_t size) {
    ListCase c;
    c.name = name;
    c.installBase = CaseRoot() + "\\" + name;
    c.listPath = c.installBase + "\\QuilloHub\\modlist.ini";
    c.pristinePath = CaseRoot() + "\\pristine-" + name + ".ini";
    c.copyPath = c.installBase + "\\QuilloHub\\plain-copy.ini";
    c.bytes = MakeListBytes(size, &c.entries);
    product::MakeFolders(c.installBase + "\\QuilloHub");
    if (!WriteAndFlush(c.pristinePath, c.bytes) || !CopyAndFlush(c.pristinePath, c.listPath))
        Problem("cannot write the list file " + c.listPath);
    return c;
}

// Writes the install information the registration reads, with `installBase` as "BasePath".
void PointRegistryAt(const ListCase& c) {
    product::ProductOptions options;
    options.productInfo = kProductInfo;
    if (!product::WriteProductRegistry(options, c.installBase))
        Problem("cannot write the install information to the registry");
}

// Puts the pristine list back, on disk and not only in the cache.
void Restore(const ListCase& c) {
    if (!CopyAndFlush(c.pristinePath, c.listPath))
        Problem("cannot restore " + c.listPath);
}

// The baseline: reads the whole list with one ReadFile and writes those bytes to a new file in
// the same folder with one WriteFile, optionally flushed, and closes both. Returns seconds.
double ReadAndWriteOnce(const ListCase& c, bool flush) {
    double start = Now();
    HANDLE in = ::CreateFileA(c.listPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size = {};
    ::GetFileSizeEx(in, &size);
    DWORD length = static_cast<DWORD>(size.QuadPart);
    void* buffer = ::HeapAlloc(::GetProcessHeap(), 0, length);
    DWORD got = 0;
    ::ReadFile(in, buffer, length, &got, nullptr);
    ::CloseHandle(in);
    HANDLE out = ::CreateFileA(c.copyPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(out, buffer, got, &written, nullptr);
    if (flush)
        ::FlushFileBuffers(out);
    ::CloseHandle(out);
    ::HeapFree(::GetProcessHeap(), 0, buffer);
    double elapsed = Now() - start;
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || got != length ||
        written != got)
        Problem("the plain read and write of " + c.listPath + " failed");
    return elapsed;
}

// Timings of parts of the work, for the analysis of where the registration's time goes.
struct Parts {
    std::vector<double> rewriteInMemory; // RewriteAppList on the bytes in memory
    std::vector<double> replaceFile;     // ReplaceFileA of a written file over the list
    std::vector<double> deleteFile;      // DeleteFileA of a written file of the list's size
};

void RegistrationJobs(ListCase& c, Parts& parts, std::vector<Job>& jobs) {
    const std::string expected = RewriteAppList(c.bytes, kProductInfo, kEntry).bytes;
    jobs.push_back({c.name + " registration", [&c, &parts, expected] {
                        Restore(c);
                        PointRegistryAt(c);
                        double start = Now();
                        AppListResult result = RegisterInAppList(kEntry);
                        double elapsed = Now() - start;
                        if (result != AppListResult::Registered)
                            Problem("the registration did not register on " + c.listPath);
                        else if (FileSize(c.listPath) != static_cast<long long>(expected.size()))
                            Problem("the registered list has an unexpected size");
                        // The part of the work that needs no file: the rewrite of the bytes.
                        double rewriteStart = Now();
                        AppListRewrite rewrite = RewriteAppList(c.bytes, kProductInfo, kEntry);
                        parts.rewriteInMemory.push_back(Now() - rewriteStart);
                        if (rewrite.bytes.size() != expected.size())
                            Problem("the rewrite in memory has an unexpected size");
                        return elapsed;
                    }});
    jobs.push_back({c.name + " plain", [&c, &parts] {
                        Restore(c);
                        double elapsed = ReadAndWriteOnce(c, false);
                        // The step that puts the new content in place, timed on its own.
                        double start = Now();
                        BOOL replaced =
                            ::ReplaceFileA(c.listPath.c_str(), c.copyPath.c_str(), nullptr,
                                           REPLACEFILE_WRITE_THROUGH, nullptr, nullptr);
                        parts.replaceFile.push_back(Now() - start);
                        if (!replaced) {
                            Problem("ReplaceFileA failed");
                            ::DeleteFileA(c.copyPath.c_str());
                        }
                        return elapsed;
                    }});
    jobs.push_back({c.name + " flushed", [&c, &parts] {
                        Restore(c);
                        double elapsed = ReadAndWriteOnce(c, true);
                        // What it costs to let go of a file of this size.
                        double start = Now();
                        ::DeleteFileA(c.copyPath.c_str());
                        parts.deleteFile.push_back(Now() - start);
                        return elapsed;
                    }});
}

// Checks once, outside any timing, that the registration leaves exactly the expected bytes.
void CheckRegistrationResult(const ListCase& c) {
    Restore(c);
    PointRegistryAt(c);
    AppListResult result = RegisterInAppList(kEntry);
    std::string after = product::ReadFileBytes(c.listPath);
    std::string expected = RewriteAppList(c.bytes, kProductInfo, kEntry).bytes;
    if (result != AppListResult::Registered || after != expected)
        Problem("the registration's result on " + c.name + " is not the expected list");
    else
        Detail(Format("checked: the registration of the %s list leaves the expected %lld bytes",
                      c.name.c_str(), static_cast<long long>(after.size())));
}

std::vector<ListCase> PrepareCases() {
    Progress("writing the list files (about 10 MB and 100 MB)");
    std::vector<ListCase> cases;
    cases.push_back(PrepareCase("small", kSmallListSize));
    cases.push_back(PrepareCase("large", 10 * kSmallListSize));
    for (const ListCase& c : cases)
        Detail(Format("%s list: %d entries, %lld bytes (%.1f MB)", c.name.c_str(), c.entries,
                      static_cast<long long>(c.bytes.size()), c.bytes.size() / 1e6));
    return cases;
}

void CleanUp() {
    product::RemoveProductRegistry();
    product::DeleteTree(CaseRoot());
}

// Values of one memory measurement, as the child writes them: "name value" lines.
std::map<std::string, double> ReadValues(const std::string& path) {
    std::map<std::string, double> values;
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return values;
    char name[64];
    double value = 0;
    while (std::fscanf(file, "%63s %lf", name, &value) == 2)
        values[name] = value;
    std::fclose(file);
    return values;
}

// Starts this program in memory mode as a fresh process, waits for it and reads its values.
std::map<std::string, double> RunChild(const std::string& what) {
    std::string resultPath = CaseRoot() + "\\memory-result.txt";
    ::DeleteFileA(resultPath.c_str());
    std::string commandLine = "\"" + OwnPath() + "\" memory-child " + what + " " + resultPath;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        Problem("cannot start the memory child process");
        return {};
    }
    if (::WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.hProcess, 1);
        Problem("the memory child process did not end");
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    std::map<std::string, double> values = ReadValues(resultPath);
    if (values.empty())
        Problem("the memory child process left no values");
    return values;
}

void WriteCounters(std::FILE* out, const char* stage) {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    std::fprintf(out, "%s_ws %.0f\n", stage, static_cast<double>(counters.WorkingSetSize));
    std::fprintf(out, "%s_peak_ws %.0f\n", stage, static_cast<double>(counters.PeakWorkingSetSize));
    std::fprintf(out, "%s_pf %.0f\n", stage, static_cast<double>(counters.PagefileUsage));
    std::fprintf(out, "%s_peak_pf %.0f\n", stage, static_cast<double>(counters.PeakPagefileUsage));
    std::fprintf(out, "%s_private %.0f\n", stage, static_cast<double>(counters.PrivateUsage));
}

double MB(double bytes) {
    return bytes / 1e6;
}

} // namespace

void RunRegistrationBench() {
    std::vector<ListCase> cases = PrepareCases();
    for (const ListCase& c : cases)
        CheckRegistrationResult(c);

    std::vector<Parts> parts(cases.size());
    std::vector<Job> jobs;
    for (size_t i = 0; i < cases.size(); ++i)
        RegistrationJobs(cases[i], parts[i], jobs);
    Progress("registration: one warm-up round");
    Interleave(jobs, 1);
    for (Parts& p : parts)
        p = Parts();
    Progress(Format("registration: %d interleaved repetitions", kTimedRepetitions));
    std::vector<std::vector<double>> times = Interleave(jobs, kTimedRepetitions);

    double registration[2], plain[2], flushed[2];
    for (size_t i = 0; i < cases.size(); ++i) {
        const ListCase& c = cases[i];
        registration[i] = Median(times[3 * i]);
        plain[i] = Median(times[3 * i + 1]);
        flushed[i] = Median(times[3 * i + 2]);
        Detail(Format("%s list, median of %d: registration %.1f ms, plain read+write %.1f ms, "
                      "read+write+flush %.1f ms",
                      c.name.c_str(), kTimedRepetitions, registration[i] * 1000, plain[i] * 1000,
                      flushed[i] * 1000));
        Detail(c.name + " registration ms: " + ListMs(times[3 * i]));
        Detail(c.name + " plain ms: " + ListMs(times[3 * i + 1]));
        Detail(c.name + " flushed ms: " + ListMs(times[3 * i + 2]));
        Detail(Format("%s list, parts: rewrite of the bytes in memory %.1f ms, "
                      "ReplaceFileA of a written file over the list %.1f ms, "
                      "DeleteFileA of a flushed file of the list's size %.1f ms, "
                      "flush of the new file (flushed - plain) %.1f ms",
                      c.name.c_str(), Median(parts[i].rewriteInMemory) * 1000,
                      Median(parts[i].replaceFile) * 1000, Median(parts[i].deleteFile) * 1000,
                      (flushed[i] - plain[i]) * 1000));
    }
    Figure("registration / plain read+write, 10 MB list", registration[0] / plain[0], 1.5, "x",
           Format("median of %d interleaved: %.1f ms / %.1f ms; median of the paired ratios %.2f",
                  kTimedRepetitions, registration[0] * 1000, plain[0] * 1000,
                  MedianRatio(times[0], times[1])));
    Figure("registration / read+write+flush, 10 MB list (for reference)",
           registration[0] / flushed[0], 1.5, "x",
           Format("median of %d interleaved: %.1f ms / %.1f ms; median of the paired ratios %.2f",
                  kTimedRepetitions, registration[0] * 1000, flushed[0] * 1000,
                  MedianRatio(times[0], times[2])));
    Figure("registration / plain read+write, 100 MB list (for reference)",
           registration[1] / plain[1], 1.5, "x",
           Format("median of %d interleaved: %.1f ms / %.1f ms; median of the paired ratios %.2f",
                  kTimedRepetitions, registration[1] * 1000, plain[1] * 1000,
                  MedianRatio(times[3], times[4])));
    Figure("registration growth, 100 MB list / 10 MB list", registration[1] / registration[0], 12.0,
           "x",
           Format("median %.1f ms / %.1f ms; file sizes %.1f MB / %.1f MB; plain read+write "
                  "grows %.2fx",
                  registration[1] * 1000, registration[0] * 1000, MB(cases[1].bytes.size()),
                  MB(cases[0].bytes.size()), plain[1] / plain[0]));
    CleanUp();
}

void RunMemoryBench() {
    std::vector<ListCase> cases = PrepareCases();

    // Calibration: a known buffer, allocated and touched, shows what the counters report.
    for (const ListCase& c : cases) {
        double size = static_cast<double>(c.bytes.size());
        Progress("memory: calibration with a buffer of " + c.name + " list size");
        std::map<std::string, double> v = RunChild(Format("calibrate-%.0f", size));
        Detail(Format("calibration, buffer of %.1f MB allocated and touched: working set while "
                      "held +%.1f MB, peak working set +%.1f MB; pagefile usage while held "
                      "+%.1f MB, peak pagefile usage after the buffer was freed +%.1f MB; "
                      "private usage while held +%.1f MB",
                      MB(size), MB(v["held_ws"] - v["before_ws"]),
                      MB(v["after_peak_ws"] - v["before_ws"]), MB(v["held_pf"] - v["before_pf"]),
                      MB(v["after_peak_pf"] - v["before_pf"]),
                      MB(v["held_private"] - v["before_private"])));
    }

    for (const ListCase& c : cases) {
        double size = static_cast<double>(c.bytes.size());
        std::vector<double> peakWs, peakPf;
        for (int repetition = 0; repetition < kMemoryRepetitions; ++repetition) {
            Progress("memory: registration on the " + c.name + " list in a fresh process");
            Restore(c);
            PointRegistryAt(c);
            std::map<std::string, double> v = RunChild("register");
            if (v["result"] != 0)
                Problem("the registration in the memory child did not register");
            peakWs.push_back(v["after_peak_ws"] - v["before_ws"]);
            peakPf.push_back(v["after_peak_pf"] - v["before_pf"]);
            Detail(Format("%s list, one process: working set before %.1f MB (peak so far %.1f "
                          "MB), peak after %.1f MB; pagefile usage before %.1f MB, peak after "
                          "%.1f MB",
                          c.name.c_str(), MB(v["before_ws"]), MB(v["before_peak_ws"]),
                          MB(v["after_peak_ws"]), MB(v["before_pf"]), MB(v["after_peak_pf"])));
        }
        Figure(Format("registration peak working set above baseline / list size, %.0f MB list",
                      MB(size)),
               Median(peakWs) / size, 3.0, "x",
               Format("median of %d fresh processes: +%.1f MB for a %.1f MB file "
                      "(PeakWorkingSetSize after - WorkingSetSize before); PeakPagefileUsage "
                      "gives +%.1f MB",
                      kMemoryRepetitions, MB(Median(peakWs)), MB(size), MB(Median(peakPf))));
    }
    CleanUp();
}

int RunMemoryChild(int argc, char** argv) {
    if (argc < 4)
        return 2;
    std::string what = argv[2];
    std::FILE* out = std::fopen(argv[3], "w");
    if (!out)
        return 2;
    WriteCounters(out, "before");
    if (what == "register") {
        AppListResult result = RegisterInAppList(kEntry);
        WriteCounters(out, "after");
        std::fprintf(out, "result %d\n", result == AppListResult::Registered ? 0 : 1);
    } else if (what.rfind("calibrate-", 0) == 0) {
        SIZE_T size = static_cast<SIZE_T>(std::atof(what.c_str() + 10));
        char* buffer = static_cast<char*>(::HeapAlloc(::GetProcessHeap(), 0, size));
        if (buffer) {
            for (SIZE_T i = 0; i < size; i += 4096)
                buffer[i] = 1;
            buffer[size - 1] = 1;
        }
        WriteCounters(out, "held");
        ::HeapFree(::GetProcessHeap(), 0, buffer);
        WriteCounters(out, "after");
    }
    std::fclose(out);
    return 0;
}

} // namespace bench
