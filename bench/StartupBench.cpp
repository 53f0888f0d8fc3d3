// Start-up of a staged copy of Setup.exe until its licence dialog waits for input, timed side by
// side with a minimal program that shows one dialog from a template and with the NSIS peer
// (bench/QuilloPeer.nsi) until its licence page waits for input; then a few starts of Setup and
// the minimal program traced by Wine (time stamps of the DLLs loaded and of the dialog's making),
// from which report.py tells where the start-up time goes.
#include "BenchSupport.h"
#include "Benchmarks.h"

#include "Staging.h"
#include "UiDriver.h"

#include <cstring>

namespace bench {

namespace {

constexpr int kRepetitions = 41;
constexpr DWORD kStartTimeoutMs = 20000;
// The licence text box of Setup's licence dialog: the dialog found must be that one.
constexpr int kLicenceTextId = 1001;
// The text box of the minimal program's dialog.
constexpr int kMinimalTextId = 100;
// The licence text of the NSIS peer's licence page, a dialog inside the installer's window.
constexpr int kPeerLicenceId = 1000;

std::string StartupRoot() {
    return std::string(kBenchRoot) + "\\startup";
}

// Starts traced by Wine, per program, after the timed ones.
constexpr int kTracedStarts = 21;
// What Wine traces in those starts: time stamps on the clock of GetTickCount, process ids, each
// DLL as it is loaded and started, each resource looked up, and the dialog's template and
// controls as they are made. Wine writes the trace to
// the standard error it was started with, which bench/run.sh keeps for report.py.
constexpr char kTraceSetting[] = "WINEDEBUG=+timestamp,+pid,+loaddll,+module,+dialog";

// What one start measured: until WaitForInputIdle returned, and until the dialog was visible as
// well (both from just before CreateProcess); and, for the trace, the process and the tick counts
// at CreateProcess and once the dialog was visible.
struct StartTimes {
    double inputIdle = 0;
    double dialogShown = 0;
    DWORD processId = 0;
    DWORD createdTick = 0;
    DWORD shownTick = 0;
};

// This process's environment with `setting` ("NAME=value") in place of any value of that name,
// as CreateProcess takes it.
std::string EnvironmentWith(const std::string& setting) {
    const std::string name = setting.substr(0, setting.find('=') + 1);
    std::string block;
    char* strings = ::GetEnvironmentStringsA();
    for (const char* entry = strings; *entry; entry += std::strlen(entry) + 1) {
        if (::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry,
                             static_cast<int>(name.size()), name.c_str(),
                             static_cast<int>(name.size())) != CSTR_EQUAL)
            block.append(entry).push_back('\0');
    }
    ::FreeEnvironmentStringsA(strings);
    block.append(setting).push_back('\0');
    block.push_back('\0');
    return block;
}

// Whether `window` has a visible control `id` among its children or theirs.
bool HasVisibleControl(HWND window, int id) {
    HWND control = uidriver::Control(window, id);
    if (control)
        return ::IsWindowVisible(control) != FALSE;
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (HWND inner = uidriver::Control(child, id))
            return ::IsWindowVisible(inner) != FALSE;
    return false;
}

// Starts `exe` with one argument, `argument`, waits until it waits for input and its dialog (the
// one with control `controlId`, visible, its own or one of its child dialogs') is visible, then
// ends it at once. `environment` is the new process's environment block, or null for this process's
// own.
StartTimes StartAndMeasure(const std::string& exe, const std::string& argument, int controlId,
                           char* environment = nullptr) {
    std::string folder = exe.substr(0, exe.find_last_of('\\'));
    std::string commandLine = "\"" + exe + "\" " + argument;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    StartTimes times;
    times.createdTick = ::GetTickCount();
    double start = Now();
    if (!::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, environment,
                          folder.c_str(), &startup, &process)) {
        Problem("cannot start " + exe);
        return times;
    }
    DWORD idle = ::WaitForInputIdle(process.hProcess, kStartTimeoutMs);
    times.inputIdle = Now() - start;
    uidriver::WindowQuery query = uidriver::WindowQuery::Dialog();
    query.predicate = [controlId](HWND window) { return HasVisibleControl(window, controlId); };
    HWND dialog = nullptr;
    while (!dialog && Now() - start < kStartTimeoutMs / 1000.0) {
        dialog = uidriver::FindTopLevelWindow(process.dwProcessId, query);
        if (!dialog)
            ::Sleep(1);
    }
    times.dialogShown = Now() - start;
    times.shownTick = ::GetTickCount();
    times.processId = process.dwProcessId;
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
    std::string peerFolder = StartupRoot() + "\\peer";
    product::DeleteTree(StartupRoot());
    product::MakeFolders(setupFolder);
    product::MakeFolders(minimalFolder);
    product::MakeFolders(peerFolder);
    std::string setupExe = setupFolder + "\\Setup.exe";
    std::string minimalExe = minimalFolder + "\\MinimalDialog.exe";
    std::string peerExe = peerFolder + "\\QuilloPeer.exe";
    if (!::CopyFileA((OwnFolder() + "\\Setup.exe").c_str(), setupExe.c_str(), FALSE) ||
        !::CopyFileA((OwnFolder() + "\\MinimalDialog.exe").c_str(), minimalExe.c_str(), FALSE) ||
        !::CopyFileA((OwnFolder() + "\\QuilloPeer.exe").c_str(), peerExe.c_str(), FALSE))
        Problem("cannot stage Setup.exe, MinimalDialog.exe and QuilloPeer.exe below " +
                StartupRoot());

    std::vector<StartTimes> setupTimes, minimalTimes, peerTimes;
    auto measureSetup = [&] {
        setupTimes.push_back(StartAndMeasure(setupExe, "bench", kLicenceTextId));
        return setupTimes.back().dialogShown;
    };
    auto measureMinimal = [&] {
        minimalTimes.push_back(StartAndMeasure(minimalExe, "bench", kMinimalTextId));
        return minimalTimes.back().dialogShown;
    };
    auto measurePeer = [&] {
        peerTimes.push_back(StartAndMeasure(peerExe, "bench", kPeerLicenceId));
        return peerTimes.back().dialogShown;
    };
    std::vector<Job> jobs = {{"Setup.exe", measureSetup},
                             {"MinimalDialog.exe", measureMinimal},
                             {"QuilloPeer.exe", measurePeer}};
    Progress("start-up: two warm-up rounds");
    Interleave(jobs, 2);
    setupTimes.clear();
    minimalTimes.clear();
    peerTimes.clear();
    Progress(Format("start-up: %d interleaved repetitions", kRepetitions));
    Interleave(jobs, kRepetitions);
    std::vector<double> setupIdle, setupShown, minimalIdle, minimalShown, peerShown;
    for (const StartTimes& t : setupTimes) {
        setupIdle.push_back(t.inputIdle);
        setupShown.push_back(t.dialogShown);
    }
    for (const StartTimes& t : minimalTimes) {
        minimalIdle.push_back(t.inputIdle);
        minimalShown.push_back(t.dialogShown);
    }
    for (const StartTimes& t : peerTimes)
        peerShown.push_back(t.dialogShown);
    Detail("Setup.exe until input idle and dialog visible ms: " + ListMs(setupShown));
    Detail("QuilloPeer.exe (NSIS) until input idle and licence page visible ms: " +
           ListMs(peerShown));
    Detail("MinimalDialog.exe until input idle and dialog visible ms: " + ListMs(minimalShown));
    Detail("Setup.exe until WaitForInputIdle returned ms: " + ListMs(setupIdle));
    Detail("MinimalDialog.exe until WaitForInputIdle returned ms: " + ListMs(minimalIdle));
    RatioFigure("start-up until the dialog waits for input and is visible, Setup / minimal",
                setupShown, minimalShown, 1.3, "");
    RatioFigure("start-up until WaitForInputIdle returns, Setup / minimal", setupIdle, minimalIdle,
                0, "");
    RatioFigure("start-up until the first window waits for input and is visible, Setup / NSIS peer",
                setupShown, peerShown, 1.0,
                "Setup's licence dialog against the peer's licence page");

    Progress(Format("start-up: %d traced starts of each program", kTracedStarts));
    std::string traced = EnvironmentWith(kTraceSetting);
    for (int start = 0; start < kTracedStarts; ++start) {
        StartTimes setup = StartAndMeasure(setupExe, "bench", kLicenceTextId, &traced[0]);
        TracedStart("Setup.exe", setup.processId, setup.createdTick, setup.shownTick);
        StartTimes minimal = StartAndMeasure(minimalExe, "bench", kMinimalTextId, &traced[0]);
        TracedStart("MinimalDialog.exe", minimal.processId, minimal.createdTick, minimal.shownTick);
    }
    product::DeleteTree(StartupRoot());
}

} // namespace bench
