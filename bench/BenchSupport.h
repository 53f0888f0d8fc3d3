// Shared helpers of the benchmarks: a clock, medians, the output lines that bench/run.sh turns
// into its report, and file helpers for the folders below kBenchRoot on the prefix's C: drive.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace bench {

// Every file the benchmarks write lies below this folder.
constexpr char kBenchRoot[] = "C:\\QuilloBench";

// Seconds on a monotonic clock (the performance counter).
double Now();
// The median of `values` (the mean of the two middle ones for an even count); 0 when empty.
double Median(std::vector<double> values);
// The median of the ratios a[i] / b[i] of runs made side by side (pairs up to the shorter list).
double MedianRatio(const std::vector<double>& a, const std::vector<double>& b);
// The values in milliseconds, for detail lines: "12.3 14.1 ...".
std::string ListMs(const std::vector<double>& seconds);
// printf-style formatting into a std::string.
std::string Format(const char* format, ...);

// One figure: a tab-separated line on standard output that run.sh reads.
//   figure <TAB> name <TAB> measured <TAB> limit <TAB> unit <TAB> how it was measured
// The figure meets its limit when measured <= limit. A limit of 0 marks a figure given for
// reference only, without a limit.
void Figure(const std::string& name, double measured, double limit, const std::string& unit,
            const std::string& how);
// A timed figure: the median of the ratios contender[i] / baseline[i], each pair timed in the same
// interleaved repetition, so that load that comes and goes on the machine during a session
// weighs on both alike; `how` is given the medians of both and the ratio of those medians, then
// `more` (when not empty).
void RatioFigure(const std::string& name, const std::vector<double>& contender,
                 const std::vector<double>& baseline, double limit, const std::string& more);
// A line of supporting detail for the report (medians, repetitions, checks).
void Detail(const std::string& text);
// A line of progress, for the person waiting.
void Progress(const std::string& text);
// A start traced by Wine, for report.py to find in the trace: a tab-separated line
//   trace <TAB> program <TAB> process id as the trace writes it <TAB> tick count at CreateProcess
//   <TAB> tick count once its dialog was visible
void TracedStart(const std::string& program, DWORD processId, DWORD createdTick, DWORD shownTick);
// Something that went wrong: reported as a detail, which run.sh also shows at once.
void Problem(const std::string& text);

// The folder of the running program, without trailing separator.
std::string OwnFolder();
// The full path of the running program.
std::string OwnPath();

// Writes `bytes` to `path` (created or truncated) and flushes it to disk.
bool WriteAndFlush(const std::string& path, const std::string& bytes);
// Copies `from` over `to`, gives the copy the last-write time `ticks` (when >= 0) and flushes it
// to disk, so that no write-back of this copy is pending while something is timed.
bool CopyAndFlush(const std::string& from, const std::string& to, long long ticks = -1);
// The size of a file in bytes, or -1.
long long FileSize(const std::string& path);
// Deterministic bytes that do not compress or repeat in short cycles, different per `seed`.
std::string PatternBytes(size_t size, unsigned seed);

// Runs every job `repetitions` times, each repetition in a rotated order (the first job first
// in repetition 0, the second first in repetition 1, ...), so that no job always runs right after
// the same one. Each job does its own untimed set-up and checks and returns the seconds of its
// timed part. Returns the times per job, in the jobs' order.
struct Job {
    std::string name;
    std::function<double()> run;
};
std::vector<std::vector<double>> Interleave(const std::vector<Job>& jobs, int repetitions);

} // namespace bench
