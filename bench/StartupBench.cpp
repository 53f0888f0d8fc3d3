// Start-up of a staged copy of Setup.exe until its licence dialog waits for input, timed side by
// side with a minimal program that shows one dialog from a template.
#include "BenchSupport.h"
#include "Benchmarks.h"

#include "Staging.h"
#include "UiDriver.h"

namespace bench {

namespace {

constexpr int kRepetitions = 41;
constexpr DWORD kStartTimeoutMs = 20000;
// The licence text box of Setup's licence dialog: the dialog found must be that one.
constexpr int kLicenceTextId = 1001;
// The text box of the minimal program's dialog.
constexpr int kMinimalTextId = 100;

std::string StartupRoot() {
    return std::string(kBenchRoot) + "\\startup";
}

// What one start measured: until WaitForInputIdle returned, and until the dialog was visible as
// well (both from just before CreateProcess).
struct StartTimes {
    double inputIdle = 0;
    double dialogShown = 0;
};

// Starts `exe` with one argument, `argument`, waits until it waits for input and its dialog (the
// one with control `controlId`) is visible, then ends it at once.
StartTimes StartAndMeasure(const std::string& exe, const std::string& argument, int controlId) {
    std::string folder = exe.substr(0, exe.find_last_of('\\'));
    std::string commandLine = "\"" + exe + "\" " + argument;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    StartTimes times;
    double start = Now();
    if (!::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &process)) {
        Problem("cannot start " + exe);
        return times;
    }
    DWORD idle = ::WaitForInputIdle(process.hProcess, kStartTimeoutMs);
    times.inputIdle = Now() - start;
    uidriver::WindowQuery query = uidriver::WindowQuery::Dialog();
    query.predicate = [controlId](HWND window) { return uidriver::Control(window, controlId); };
    HWND dialog = nullptr;
    while (!dialog && Now() - start < kStartTimeoutMs / 1000.0) {
        dialog = uidriver::FindTopLevelWindow(process.dwProcessId, query);
        if (!dialog)
            ::Sleep(1);
    }
    times.dialogShown = Now() - start;
    if (idle != 0)
        Problem(Format("WaitForInputIdle on %s returned %lu", exe.c_str(), idle));
    if (!dialog)
        Problem("no visible dialog of " + exe);
    // Setup asks before it lets itself be cancelled: it is ended without asking.
    ::TerminateProcess(process.hProcess, 0);
    ::WaitForSingleObject(process.hProcess, kStartTimeoutMs);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    // Lets the ended process's windows and server state go before the next start.
    ::Sleep(200);
    return times;
}

} // namespace

void RunStartupBench() {
    std::string setupFolder = StartupRoot() + "\\setup";
    std::string minimalFolder = StartupRoot() + "\\minimal";
    product::DeleteTree(StartupRoot());
    product::MakeFolders(setupFolder);
    product::MakeFolders(minimalFolder);
    std::string setupExe = setupFolder + "\\Setup.exe";
    std::string minimalExe = minimalFolder + "\\MinimalDialog.exe";
    if (!::CopyFileA((OwnFolder() + "\\Setup.exe").c_str(), setupExe.c_str(), FALSE) ||
        !::CopyFileA((OwnFolder() + "\\MinimalDialog.exe").c_str(), minimalExe.c_str(), FALSE))
        Problem("cannot stage Setup.exe and MinimalDialog.exe below " + StartupRoot());

    std::vector<StartTimes> setupTimes, minimalTimes, comctlTimes;
    auto measureSetup = [&] {
        setupTimes.push_back(StartAndMeasure(setupExe, "bench", kLicenceTextId));
        return setupTimes.back().dialogShown;
    };
    auto measureMinimal = [&] {
        minimalTimes.push_back(StartAndMeasure(minimalExe, "bench", kMinimalTextId));
        return minimalTimes.back().dialogShown;
    };
    // The minimal program loading comctl32 first: not a baseline, a pointer to where time goes.
    auto measureComctl = [&] {
        comctlTimes.push_back(StartAndMeasure(minimalExe, "comctl", kMinimalTextId));
        return comctlTimes.back().dialogShown;
    };
    std::vector<Job> jobs = {{"Setup.exe", measureSetup},
                             {"MinimalDialog.exe", measureMinimal},
                             {"MinimalDialog.exe comctl", measureComctl}};
    Progress("start-up: two warm-up rounds");
    Interleave(jobs, 2);
    setupTimes.clear();
    minimalTimes.clear();
    comctlTimes.clear();
    Progress(Format("start-up: %d interleaved repetitions", kRepetitions));
    Interleave(jobs, kRepetitions);
    std::vector<double> setupIdle, setupShown, minimalIdle, minimalShown;
    for (const StartTimes& t : setupTimes) {
        setupIdle.push_back(t.inputIdle);
        setupShown.push_back(t.dialogShown);
    }
    for (const StartTimes& t : minimalTimes) {
        minimalIdle.push_back(t.inputIdle);
        minimalShown.push_back(t.dialogShown);
    }
    std::vector<double> comctlShown;
    for (const StartTimes& t : comctlTimes)
        comctlShown.push_back(t.dialogShown);
    Detail(Format("MinimalDialog.exe loading comctl32 first, until input idle and dialog visible: "
                  "median %.1f ms, %.2fx the minimal program; Setup takes %.2fx this",
                  Median(comctlShown) * 1000, Median(comctlShown) / Median(minimalShown),
                  Median(setupShown) / Median(comctlShown)));
    Detail("Setup.exe until input idle and dialog visible ms: " + ListMs(setupShown));
    Detail("MinimalDialog.exe until input idle and dialog visible ms: " + ListMs(minimalShown));
    Detail("Setup.exe until WaitForInputIdle returned ms: " + ListMs(setupIdle));
    Detail("MinimalDialog.exe until WaitForInputIdle returned ms: " + ListMs(minimalIdle));
    Figure("start-up until the dialog waits for input and is visible, Setup / minimal",
           Median(setupShown) / Median(minimalShown), 1.3, "x",
           Format("median of %d interleaved: %.1f ms / %.1f ms; median of the paired ratios "
                  "%.2f",
                  kRepetitions, Median(setupShown) * 1000, Median(minimalShown) * 1000,
                  MedianRatio(setupShown, minimalShown)));
    Figure("start-up until WaitForInputIdle returns, Setup / minimal (for reference)",
           Median(setupIdle) / Median(minimalIdle), 1.3, "x",
           Format("median of %d interleaved: %.1f ms / %.1f ms", kRepetitions,
                  Median(setupIdle) * 1000, Median(minimalIdle) * 1000));
    product::DeleteTree(StartupRoot());
}

} // namespace bench
