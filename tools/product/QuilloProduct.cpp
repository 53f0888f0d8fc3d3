// QuilloProduct.exe: the simulated running Quillo programs whose windows Setup asks to quit.
//   QuilloProduct.exe <logfile> [--classes A,B,C] [--hang CLASS] [--ready-file PATH] [--linger MS]
//                     [--processes]
// Shows one top-level window per class (default TindleBar, ZenlexTest, TinSync_Server) and
// appends a line per message they receive to <logfile>. Ends once every window has been asked
// to quit (WM_CLOSE, or WM_DESTROY carrying 0x5555/0xAAAA). --hang: that class's window never
// answers its quit request. --ready-file: written once all windows are shown. --processes:
// each class in a process of its own, which ends on its own window's quit request.
#include "MessageLog.h"
#include "SeparateProcesses.h"
#include "ProductWindows.h"

#include <windows.h>

#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Arguments {
    std::string logFile;
    std::vector<std::string> classes;
    std::string hangClass;
    std::string readyFile;
    bool processes = false;
    DWORD lingerMs = 0; // time taken to shut down after the last quit request
};

std::vector<std::string> SplitAtCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string part = text.substr(start, comma - start);
        if (!part.empty()) {
            parts.push_back(part);
        }
        if (comma == std::string::npos) {
            return parts;
        }
        start = comma + 1;
    }
}

bool ParseArguments(int argc, char** argv, Arguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        bool hasValue = i + 1 < argc;
        if (argument == "--classes" && hasValue) {
            arguments.classes = SplitAtCommas(argv[++i]);
        } else if (argument == "--hang" && hasValue) {
            arguments.hangClass = argv[++i];
        } else if (argument == "--ready-file" && hasValue) {
            arguments.readyFile = argv[++i];
        } else if (argument == "--linger" && hasValue) {
            arguments.lingerMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else if (argument == "--processes") {
            arguments.processes = true;
        } else if (arguments.logFile.empty() && argument.compare(0, 2, "--") != 0) {
            arguments.logFile = argument;
        } else {
            return false;
        }
    }
    if (arguments.classes.empty()) {
        arguments.classes.assign(std::begin(product::kProductClasses),
                                 std::end(product::kProductClasses));
    }
    return !arguments.logFile.empty();
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Arguments arguments;
    if (!ParseArguments(__argc, __argv, arguments)) {
        ExitProcess(1);
    }
    if (arguments.processes) {
        ExitProcess(product::RunProductProcesses(arguments.logFile, arguments.classes,
                                                 arguments.hangClass, arguments.readyFile));
    }
    // Never destroyed: the process ends through ExitProcess with the window threads running.
    auto* log = new product::MessageLog;
    if (!log->Open(arguments.logFile)) {
        ExitProcess(2);
    }
    int result = product::RunProductWindows(arguments.classes, arguments.hangClass, *log,
                                            arguments.readyFile);
    // A real program takes a moment to save its state before it ends.
    Sleep(arguments.lingerMs);
    log->Close();
    ExitProcess(result);
}
