#include "run/CommandLine.h"

#include <cstdlib>

namespace {
using Mode = CommandLine::Mode;

bool IsSwitch(const std::string& argument) {
    return !argument.empty() && (argument[0] == '/' || argument[0] == '-');
}

// The switch's name without its "/" or "-", in small letters (ASCII only: the code page of the
// system plays no part).
std::string NameOf(const std::string& argument) {
    std::string name = argument.substr(1);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

// A handle number as Setup writes it: decimal digits with an optional minus sign.
bool IsHandleNumber(const std::string& text) {
    const size_t digits = text.find_first_not_of('-') == 1 ? 1 : 0;
    return text.size() > digits &&
           text.find_first_not_of("0123456789", digits) == std::string::npos;
}

CommandLine NotUnderstood(const std::string& why) {
    CommandLine line;
    line.problem = why;
    return line;
}
} // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    if (argc < 2)
        return NotUnderstood("no argument");
    const std::string first = argv[1];
    if (argc == 2 && !IsSwitch(first)) {
        CommandLine line;
        line.mode = Mode::Person;
        return line;
    }
    if (argc == 3 && IsHandleNumber(first) && !IsSwitch(argv[2])) {
        CommandLine line;
        line.mode = Mode::Cleanup;
        line.handle = std::strtol(first.c_str(), nullptr, 10);
        line.setupExe = argv[2];
        return line;
    }
    CommandLine line;
    line.mode = Mode::Person;
    bool unattended = false, logGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!IsSwitch(argument))
            return NotUnderstood("\"" + argument + "\" is not a switch");
        const std::string name = NameOf(argument);
        Mode mode = Mode::Person;
        if (name == "quiet" || name == "q" || name == "qn") {
            mode = Mode::Quiet;
        } else if (name == "passive") {
            mode = Mode::Passive;
        } else if (name == "norestart") {
            // Accepted: Setup never restarts Windows itself.
        } else if (name == "log") {
            if (logGiven || i + 1 >= argc || IsSwitch(argv[i + 1]) || !*argv[i + 1])
                return NotUnderstood("\"" + argument + "\" without one file to log to");
            logGiven = true;
            line.logFile = argv[++i];
        } else {
            return NotUnderstood("\"" + argument + "\" is not a switch Setup knows");
        }
        if (mode != Mode::Person) {
            if (unattended && mode != line.mode)
                return NotUnderstood("both \"/quiet\" and \"/passive\"");
            unattended = true;
            line.mode = mode;
        }
    }
    return line;
}
