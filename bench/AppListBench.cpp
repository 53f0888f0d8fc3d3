// Application-list registration as the program does it, on list files of about 10 MB and 100 MB:
// UpgradeProduct on a staged product whose installed files are all newer than the payload, so
// that only the list is registered. Timed side by side with the floor of any durable,
// all-or-nothing rewrite of the list (one read, one write, one flush, one rename), with the
// program's own steps and the transaction's fixed costs timed on their own, and its peak memory
// measured in fresh child processes.
#include "BenchSupport.h"
#include "Benchmarks.h"

#include "ProductRegistry.h"
#include "EngineRun.h"
#include "Staging.h"
#include "upgrade/AppListRegistration.h"
#include "upgrade/FileOps.h"
#include "upgrade/Journal.h"
#include "upgrade/PathRules.h"
#include "upgrade/Transaction.h"
#include "upgrade/Upgrade.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace bench {

namespace {

constexpr char kEntry[] = "Pack07up02.exe";
constexpr char kProductInfo[] = "Quillo Pro 4.5";
constexpr int kTimedRepetitions = 21;
// About 100,000 entries of about 100 bytes; the large list is ten times this size.
constexpr size_t kSmallListSize = 10000000;
constexpr int kMemoryRepetitions = 3;
// The pause after restoring the list, before a timed run.
constexpr DWORD kSettleMs = 50;

// One staged product with a list file of its own size, and a pristine copy of the list that
// restores it before every repetition.
struct ListCase {
    std::string name;
    int entries = 0;
    product::StagedProduct product;
    std::string pristinePath;
    std::string stagedPath; // the new file the floor writes beside the list
    std::string backupPath; // the second name the fixed costs give the list
    std::string journalPath;
    long long size = 0;   // of the pristine list
    std::string expected; // the list as the registration must leave it
};

std::string CaseRoot() {
    return std::string(kBenchRoot) + "\\applist";
}

// A list file as the product keeps it: a 16-byte prefix, the entry count, filler, "[LIST]" and
// numbered entries of about 100 bytes each, as many as fit in `size` bytes. `expected` is the
// list with the registration's entry added, built here independently of the program.
std::string MakeListBytes(size_t size, int* entriesMade, std::string* expected) {
    std::string prefix = "QuilloModList\x01\x02";
    prefix.push_back('\0'); // 16 bytes, a zero byte among them
    std::string list = "[LIST]\r\n";
    list.reserve(size);
    int entries = 0;
    for (;;) {
        std::string n = std::to_string(entries + 1);
        std::string entry = "name" + n + "=Quillo dictionary module " + n +
                            ", English-Chinese\r\n" + "url" + n + "=QuilloHub\\modules\\mod" + n +
                            ".exe\r\n";
        if (prefix.size() + 40 + list.size() + entry.size() > size)
            break;
        list += entry;
        ++entries;
    }
    auto header = [](int count) {
        return std::to_string(count) + "\r\n\r\n" + std::string(25, ' ') + "\r\n\r\n";
    };
    const std::string next = std::to_string(entries + 1);
    *expected = prefix + header(entries + 1) + list + "\r\n\r\nname" + next + "=" + kProductInfo +
                "\r\nurl" + next + "=" + kEntry + "\r\n";
    *entriesMade = entries;
    return prefix + header(entries) + list;
}

ListCase PrepareCase(const std::string& name, size_t size) {
    ListCase c;
    c.name = name;
    product::ProductOptions options;
    options.root = CaseRoot() + "\\" + name;
    options.productInfo = kProductInfo;
    // Every installed file is newer than its payload file: no payload row changes.
    for (product::DestState& state : options.dest)
        state = product::DestState::Newer;
    options.listBytes = MakeListBytes(size, &c.entries, &c.expected);
    c.size = static_cast<long long>(options.listBytes.size());
    c.product = product::StageProduct(options);
    c.pristinePath = CaseRoot() + "\\pristine-" + name + ".ini";
    c.stagedPath = StagedPathOf(c.product.listFile);
    c.backupPath = BackupPathOf(c.product.listFile);
    c.journalPath = c.product.installBase + JournalNameOf(JournalState::Committing);
    if (c.product.listFile.empty() || !WriteAndFlush(c.pristinePath, options.listBytes) ||
        !CopyAndFlush(c.pristinePath, c.product.listFile))
        Problem("cannot stage the product with the " + name + " list");
    return c;
}

// Writes the install information the registration reads ("ProductInfo", the entry's name).
void PointRegistryAt(const ListCase& c) {
    product::ProductOptions options;
    options.productInfo = kProductInfo;
    if (!product::WriteProductRegistry(options, c.product.installBase))
        Problem("cannot write the install information to the registry");
}

// Puts the pristine list back, on disk and not only in the cache, and the registry values; then
// waits a moment, so that the file system's own work after the flush (the old blocks given back)
// is done before anything is timed.
void Restore(const ListCase& c) {
    if (!CopyAndFlush(c.pristinePath, c.product.listFile))
        Problem("cannot restore " + c.product.listFile);
    PointRegistryAt(c);
    ::Sleep(kSettleMs);
}

// Whether the upgrade left the registered list, every installed file as it was and nothing of
// its own behind (staged copies, backups, the journal).
bool RegisteredAndTidy(const ListCase& c) {
    bool tidy = FileSize(c.product.listFile) == static_cast<long long>(c.expected.size()) &&
                FileSize(c.stagedPath) < 0 && FileSize(c.backupPath) < 0 &&
                FileSize(c.journalPath) < 0 &&
                FileSize(c.product.installBase + JournalNameOf(JournalState::Committed)) < 0;
    for (int row = 0; row < 9; ++row)
        tidy = tidy && product::FileTicks(c.product.destinationFiles[row]) ==
                           product::InstalledTicks(row, product::DestState::Newer);
    return tidy;
}

// Opens `path` with `access` and `disposition` without sharing; empty handle on failure.
HANDLE Open(const std::string& path, DWORD access, DWORD disposition) {
    return ::CreateFileA(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
}

// Writes `bytes` to the new file `path`, flushes and closes it.
bool WriteNewFlushed(const std::string& path, const void* bytes, DWORD size) {
    HANDLE out = Open(path, GENERIC_WRITE, CREATE_NEW);
    DWORD written = 0;
    bool ok = out != INVALID_HANDLE_VALUE && ::WriteFile(out, bytes, size, &written, nullptr) &&
              written == size && ::FlushFileBuffers(out);
    return ::CloseHandle(out) && ok;
}

bool RenameOver(const std::string& from, const std::string& to) {
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

// A whole file read with one ReadFile into a buffer of the process heap, which the caller frees.
struct HeapCopy {
    void* bytes = nullptr;
    DWORD size = 0;
    bool ok = false;
};

HeapCopy ReadWhole(const std::string& path) {
    HeapCopy copy;
    HANDLE in = Open(path, GENERIC_READ, OPEN_EXISTING);
    LARGE_INTEGER size = {};
    ::GetFileSizeEx(in, &size);
    DWORD length = static_cast<DWORD>(size.QuadPart);
    copy.bytes = ::HeapAlloc(::GetProcessHeap(), 0, length);
    copy.ok = ::ReadFile(in, copy.bytes, length, &copy.size, nullptr) && copy.size == length;
    ::CloseHandle(in);
    return copy;
}

// Writes `copy` with one WriteFile to the new file `path`; returns the file still open, for the
// caller to flush or not before closing it.
HANDLE WriteToNewFile(const std::string& path, HeapCopy& copy) {
    HANDLE out = Open(path, GENERIC_WRITE, CREATE_NEW);
    DWORD written = 0;
    copy.ok = copy.ok && ::WriteFile(out, copy.bytes, copy.size, &written, nullptr) &&
              written == copy.size;
    return out;
}

// Seconds of each step of the floor.
struct FloorTimes {
    double read = 0, write = 0, flush = 0, release = 0, rename = 0;
    double Total() const { return read + write + flush + release + rename; }
};

// The floor of a durable, all-or-nothing rewrite: one ReadFile of the whole list, one WriteFile
// of those bytes to a new file beside it, one FlushFileBuffers, and one MoveFileExA of the new
// file over the list (write-through). The timer runs from the list's opening to the rename; it
// includes freeing the buffer, which the program does too.
FloorTimes Floor(const ListCase& c) {
    FloorTimes t;
    double start = Now();
    HeapCopy copy = ReadWhole(c.product.listFile);
    double read = Now();
    HANDLE out = WriteToNewFile(c.stagedPath, copy);
    double wrote = Now();
    bool ok = ::FlushFileBuffers(out) && copy.ok;
    ok = ::CloseHandle(out) && ok;
    double flushed = Now();
    ::HeapFree(::GetProcessHeap(), 0, copy.bytes);
    double released = Now();
    ok = RenameOver(c.stagedPath, c.product.listFile) && ok;
    double renamed = Now();
    if (!ok)
        Problem("the floor's read, write, flush and rename of " + c.product.listFile + " failed");
    t.read = read - start;
    t.write = wrote - read;
    t.flush = flushed - wrote;
    t.release = released - flushed;
    t.rename = renamed - released;
    return t;
}

// For reference: one ReadFile of the whole list and one WriteFile of those bytes to a new file
// beside it, closed, the buffer freed; neither flushed nor renamed. Returns seconds.
double PlainReadWrite(const ListCase& c) {
    double start = Now();
    HeapCopy copy = ReadWhole(c.product.listFile);
    bool ok = ::CloseHandle(WriteToNewFile(c.stagedPath, copy)) && copy.ok;
    ::HeapFree(::GetProcessHeap(), 0, copy.bytes);
    double elapsed = Now() - start;
    ::DeleteFileA(c.stagedPath.c_str());
    if (!ok)
        Problem("the plain read and write of " + c.product.listFile + " failed");
    return elapsed;
}

// Timings of the parts of the work, for where the registration's time goes.
struct Parts {
    std::vector<double> finish; // UpgradeTransaction::Finish after UpgradeProduct
    std::vector<double> floorRead, floorWrite, floorFlush, floorRelease, floorRename;
    // The program's own steps, one by one, in a run of their own.
    std::vector<double> begin, registerInList, stage, commit, stepsFinish;
    // The transaction's fixed costs as plain system calls, in a run of their own.
    std::vector<double> journalWrites, journalDelete, renameAway, renameKept, backupDelete;
};

void RegistrationJobs(ListCase& c, Parts& parts, std::vector<Job>& jobs) {
    const CString setupFolder(c.product.setupFolder);
    const CString installBase(c.product.installBase);
    jobs.push_back({c.name + " registration", [&c, &parts, setupFolder, installBase] {
                        Restore(c);
                        double start = Now();
                        const bool upgraded =
                            product::UpgradeAlone(setupFolder,
                                                  product::TreeAt(std::string(installBase)), kEntry)
                                .Ok();
                        double elapsed = Now() - start;
                        product::FinishRun(std::string(installBase));
                        parts.finish.push_back(Now() - start - elapsed);
                        if (!upgraded || !RegisteredAndTidy(c))
                            Problem("the upgrade did not register on " + c.product.listFile);
                        return elapsed;
                    }});
    jobs.push_back({c.name + " floor", [&c, &parts] {
                        Restore(c);
                        FloorTimes t = Floor(c);
                        parts.floorRead.push_back(t.read);
                        parts.floorWrite.push_back(t.write);
                        parts.floorFlush.push_back(t.flush);
                        parts.floorRelease.push_back(t.release);
                        parts.floorRename.push_back(t.rename);
                        return t.Total();
                    }});
    jobs.push_back({c.name + " plain", [&c] {
                        Restore(c);
                        return PlainReadWrite(c);
                    }});
    // The list's registration without the transaction: RegisterInAppList reads and rewrites the
    // list in one buffer, the new content is written beside the list as the transaction stages it
    // (NewFile: written, given the list's attributes, creation time and access rules, flushed),
    // renamed over the list, and the buffer freed.
    jobs.push_back({c.name + " list alone", [&c] {
                        Restore(c);
                        const CString list(c.product.listFile);
                        double start = Now();
                        bool ok = false;
                        {
                            FileHandle held;
                            AppListContent content;
                            ok = HoldFile(list, &held).Ok() &&
                                 RegisterInAppList(held.Get(), list, kEntry, &content).Ok() &&
                                 WriteNewFile(c.stagedPath.c_str(), content.bytes, list).Ok();
                        }
                        ok = ok && RenameOver(c.stagedPath, c.product.listFile);
                        double elapsed = Now() - start;
                        if (!ok || !RegisteredAndTidy(c))
                            Problem("the list's registration alone failed on " +
                                    c.product.listFile);
                        return elapsed;
                    }});
    // The transaction's public steps as UpgradeProduct takes them for the list alone (its
    // decisions on the payload rows, which find nothing to change, are left out).
    jobs.push_back(
        {c.name + " steps", [&c, &parts, installBase] {
             Restore(c);
             double t0 = Now();
             bool ok = true;
             double t1 = 0, t2 = 0, t3 = 0, t4 = 0;
             {
                 UpgradeTransaction transaction(product::TreeAt(std::string(installBase)));
                 const CString list(c.product.listFile);
                 FileHandle held;
                 AppListContent content;
                 ok = HoldFile(list, &held).Ok() &&
                      RegisterInAppList(held.Get(), list, kEntry, &content).Ok();
                 t1 = Now();
                 ok = ok && transaction.Begin({{kListItem, false}}).Ok();
                 transaction.Hold(0, std::move(held));
                 t2 = Now();
                 ok = ok && transaction.StageBytes(0, content.bytes).Ok();
                 t3 = Now();
                 ok = ok && transaction.Commit().Ok();
             }
             // The new content's buffer freed and the handles closed, as the floor's are.
             t4 = Now();
             product::FinishRun(std::string(installBase));
             double t5 = Now();
             if (!ok || !RegisteredAndTidy(c))
                 Problem("the transaction's steps did not register on " + c.product.listFile);
             parts.registerInList.push_back(t1 - t0);
             parts.begin.push_back(t2 - t1);
             parts.stage.push_back(t3 - t2);
             parts.commit.push_back(t4 - t3);
             parts.stepsFinish.push_back(t5 - t4);
             return t4 - t0;
         }});
    // What the transaction does beyond the floor, as plain system calls: the journal written once
    // (a new file, flushed, renamed into place) and renamed to its next state, and its deletion;
    // the list renamed to its backup name, the staged list renamed into its place, and the
    // deletion of the backup, which then lets go of the old content.
    jobs.push_back(
        {c.name + " fixed costs", [&c, &parts] {
             Restore(c);
             Journal journal;
             journal.entries = {{kListItem, false, 1, 1}};
             const std::string journalStaged = StagedPathOf(c.journalPath);
             const char small[] = "a small staged list";
             bool ok = WriteNewFlushed(c.stagedPath, small, sizeof small);
             double t0 = Now();
             const std::string text = FormatJournal(journal);
             const std::string committing = c.journalPath;
             const std::string committed =
                 c.product.installBase + JournalNameOf(JournalState::Committed);
             ok = ok &&
                  WriteNewFlushed(journalStaged, text.data(), static_cast<DWORD>(text.size())) &&
                  RenameOver(journalStaged, committing) && RenameOver(committing, committed);
             double t1 = Now();
             ok = ::DeleteFileA(committed.c_str()) && ok;
             double t2 = Now();
             ok = RenameOver(c.product.listFile, c.backupPath) && ok;
             double t3 = Now();
             ok = RenameOver(c.stagedPath, c.product.listFile) && ok;
             double t4 = Now();
             ok = ::DeleteFileA(c.backupPath.c_str()) && ok;
             double t5 = Now();
             if (!ok)
                 Problem("the fixed costs' system calls failed on " + c.product.listFile);
             parts.journalWrites.push_back(t1 - t0);
             parts.journalDelete.push_back(t2 - t1);
             parts.renameAway.push_back(t3 - t2);
             parts.renameKept.push_back(t4 - t3);
             parts.backupDelete.push_back(t5 - t4);
             return t5 - t0;
         }});
}
constexpr int kJobsPerCase = 6;
enum JobIndex { kRegistration, kFloor, kPlain, kListAlone, kSteps, kFixed };

// Checks once, outside any timing, that the registration leaves exactly the expected bytes.
void CheckRegistrationResult(const ListCase& c) {
    Restore(c);
    const bool upgraded = product::UpgradeAlone(c.product.setupFolder.c_str(),
                                                product::TreeAt(c.product.installBase), kEntry)
                              .Ok();
    product::FinishRun(c.product.installBase);
    std::string after = product::ReadFileBytes(c.product.listFile);
    if (!upgraded || after != c.expected || !RegisteredAndTidy(c))
        Problem("the registration's result on " + c.name + " is not the expected list");
    else
        Detail(Format("checked: UpgradeProduct on the %s list registers the entry, leaves the "
                      "expected %lld bytes, changes no payload row and leaves nothing behind",
                      c.name.c_str(), static_cast<long long>(after.size())));
}

std::vector<ListCase> PrepareCases() {
    Progress("staging the products with their list files (about 10 MB and 100 MB)");
    std::vector<ListCase> cases;
    cases.push_back(PrepareCase("small", kSmallListSize));
    cases.push_back(PrepareCase("large", 10 * kSmallListSize));
    for (const ListCase& c : cases)
        Detail(Format("%s list: %d entries, %lld bytes (%.1f MB)", c.name.c_str(), c.entries,
                      c.size, c.size / 1e6));
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
std::map<std::string, double> RunChild(const std::string& arguments) {
    std::string resultPath = CaseRoot() + "\\memory-result.txt";
    ::DeleteFileA(resultPath.c_str());
    std::string commandLine = "\"" + OwnPath() + "\" memory-child " + resultPath + " " + arguments;
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

double Ms(const std::vector<double>& seconds) {
    return Median(seconds) * 1000;
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

    double registration[2], floor[2];
    for (size_t i = 0; i < cases.size(); ++i) {
        const ListCase& c = cases[i];
        const Parts& p = parts[i];
        auto at = [&](int job) -> const std::vector<double>& {
            return times[kJobsPerCase * i + job];
        };
        registration[i] = Median(at(kRegistration));
        floor[i] = Median(at(kFloor));
        const double plain = Median(at(kPlain));
        Detail(Format("%s list, median of %d: registration (UpgradeProduct) %.1f ms, floor "
                      "(read+write+flush+rename) %.1f ms, plain read+write %.1f ms; the "
                      "registration takes %.1f ms more than the floor",
                      c.name.c_str(), kTimedRepetitions, registration[i] * 1000, floor[i] * 1000,
                      plain * 1000, (registration[i] - floor[i]) * 1000));
        Detail(c.name + " registration ms: " + ListMs(at(kRegistration)));
        Detail(c.name + " floor ms: " + ListMs(at(kFloor)));
        Detail(c.name + " plain read+write ms: " + ListMs(at(kPlain)));
        Detail(c.name + " list alone ms: " + ListMs(at(kListAlone)));
        Detail(Format("%s list, the floor's steps (medians): read %.1f ms, write %.1f ms, "
                      "flush %.1f ms, freeing the buffer %.1f ms, rename over the list %.1f ms",
                      c.name.c_str(), Ms(p.floorRead), Ms(p.floorWrite), Ms(p.floorFlush),
                      Ms(p.floorRelease), Ms(p.floorRename)));
        Detail(
            Format("%s list, the program's steps in a run of their own (medians): Begin "
                   "(names checked) %.1f ms, RegisterInAppList (held, read and rewritten in "
                   "one buffer) %.1f ms, StageBytes (write and flush of the staged copy) "
                   "%.1f ms, Commit (journal written and renamed, the list renamed to its "
                   "backup, the staged copy renamed in, backup deletion, the buffer freed and the "
                   "handles closed) %.1f ms; together "
                   "%.1f ms; Finish (journal read and deletion) "
                   "%.1f ms, and %.1f ms after UpgradeProduct; UpgradeProduct takes %.1f ms "
                   "more than these steps: its decisions on the nine payload rows (each "
                   "source and destination looked at) and the list's",
                   c.name.c_str(), Ms(p.begin), Ms(p.registerInList), Ms(p.stage), Ms(p.commit),
                   Ms(at(kSteps)), Ms(p.stepsFinish), Ms(p.finish),
                   (registration[i] - Median(at(kSteps))) * 1000));
        Detail(Format("%s list, the transaction's fixed costs as plain system calls (medians): "
                      "the journal written once and renamed once %.1f ms, journal deletion "
                      "%.1f ms, the list renamed to its backup name %.1f ms, the staged list "
                      "renamed into its place %.1f ms (the floor's rename over the list, which "
                      "lets go of the old content: %.1f ms), deletion of the backup %.1f ms",
                      c.name.c_str(), Ms(p.journalWrites), Ms(p.journalDelete), Ms(p.renameAway),
                      Ms(p.renameKept), Ms(p.floorRename), Ms(p.backupDelete)));
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        auto at = [&](int job) -> const std::vector<double>& {
            return times[kJobsPerCase * i + job];
        };
        const double size = MB(static_cast<double>(cases[i].size));
        const double alone = Median(at(kListAlone));
        // The registration is what the transaction does for the list: the list held, read and
        // rewritten, its staged copy written and flushed, the journal, the two renames, the
        // backup's deletion. UpgradeProduct adds the decisions on the nine payload rows, which
        // belong to the payload's replacement.
        RatioFigure(
            Format("registration (the transaction's steps for the list) / floor "
                   "(read+write+flush+rename), %.0f MB list",
                   size),
            at(kSteps), at(kFloor), 1.1,
            "Begin, RegisterInAppList, StageBytes, Commit; the journal's and the backup's costs "
            "included");
        RatioFigure(
            Format("UpgradeProduct with no payload row to change / floor, %.0f MB list", size),
            at(kRegistration), at(kFloor), 0,
            Format("the nine rows' decisions and the transaction's fixed costs: %.1f ms "
                   "(UpgradeProduct - the list alone)",
                   (registration[i] - alone) * 1000));
        RatioFigure(
            Format("the list's registration alone, without the transaction / floor, %.0f "
                   "MB list",
                   size),
            at(kListAlone), at(kFloor), 0,
            "RegisterInAppList, the staged copy written and flushed, renamed over the list");
        RatioFigure(Format("registration (UpgradeProduct) / plain read+write, %.0f MB list", size),
                    at(kRegistration), at(kPlain), 0, "");
    }
    RatioFigure("registration (UpgradeProduct) growth, 100 MB list / 10 MB list",
                times[kJobsPerCase + kRegistration], times[kRegistration], 12.0,
                Format("file sizes %.1f MB / %.1f MB; the floor grows %.2fx", MB(cases[1].size),
                       MB(cases[0].size),
                       MedianRatio(times[kJobsPerCase + kFloor], times[kFloor])));
    CleanUp();
}

void RunMemoryBench() {
    std::vector<ListCase> cases = PrepareCases();

    // Calibration: a known buffer, allocated and touched, shows what the counters report.
    for (const ListCase& c : cases) {
        double size = static_cast<double>(c.size);
        Progress("memory: calibration with a buffer of " + c.name + " list size");
        std::map<std::string, double> v = RunChild(Format("calibrate %.0f", size));
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
        double size = static_cast<double>(c.size);
        std::vector<double> peakWs, peakPf;
        for (int repetition = 0; repetition < kMemoryRepetitions; ++repetition) {
            Progress("memory: UpgradeProduct on the " + c.name + " list in a fresh process");
            Restore(c);
            std::map<std::string, double> v =
                RunChild("upgrade " + c.product.setupFolder + " " + c.product.installBase);
            if (v["result"] != 0 || !RegisteredAndTidy(c))
                Problem("UpgradeProduct in the memory child did not register");
            peakWs.push_back(v["after_peak_ws"] - v["before_ws"]);
            peakPf.push_back(v["after_peak_pf"] - v["before_pf"]);
            Detail(Format("%s list, one process: working set before %.1f MB (peak so far %.1f "
                          "MB), peak after %.1f MB; pagefile usage before %.1f MB, peak after "
                          "%.1f MB",
                          c.name.c_str(), MB(v["before_ws"]), MB(v["before_peak_ws"]),
                          MB(v["after_peak_ws"]), MB(v["before_pf"]), MB(v["after_peak_pf"])));
        }
        Figure(Format("registration (UpgradeProduct) peak working set above baseline / list size, "
                      "%.0f MB list",
                      MB(size)),
               Median(peakWs) / size, 1.1, "x",
               Format("median of %d fresh processes running UpgradeProduct: +%.1f MB for a "
                      "%.1f MB file (PeakWorkingSetSize after - WorkingSetSize before); "
                      "PeakPagefileUsage gives +%.1f MB",
                      kMemoryRepetitions, MB(Median(peakWs)), MB(size), MB(Median(peakPf))));
    }
    CleanUp();
}

int RunMemoryChild(int argc, char** argv) {
    // memory-child <result file> calibrate <bytes>
    // memory-child <result file> upgrade <setup folder> <install base>
    if (argc < 5)
        return 2;
    std::FILE* out = std::fopen(argv[2], "w");
    if (!out)
        return 2;
    std::string what = argv[3];
    WriteCounters(out, "before");
    if (what == "upgrade" && argc >= 6) {
        const bool upgraded =
            product::UpgradeAlone(argv[4], product::TreeAt(std::string(argv[5])), kEntry).Ok();
        WriteCounters(out, "after");
        product::FinishRun(std::string(argv[5]));
        std::fprintf(out, "result %d\n", upgraded ? 0 : 1);
    } else if (what == "calibrate") {
        SIZE_T size = static_cast<SIZE_T>(std::atof(argv[4]));
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
