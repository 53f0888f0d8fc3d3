#include "run/CommandLine.h"

#include <cstdlib>

namespace {
using Mode = CommandLine::Mode;

bool IsSwitch(const std::wstring& argument) {
    return !argument.empty() && (argument[0] == L'/' || argument[0] == L'-');
}

// Whether `argument` is the switch `name` after its "/" or "-", in any letter case (ASCII only:
// no other letter is part of a switch, whatever the system's language).
bool IsSwitchNamed(const std::wstring& argument, const wchar_t* name) {
    size_t i = 1;
    for (; i < argument.size() && name[i - 1]; ++i)
        if ((argument[i] >= L'A' && argument[i] <= L'Z' ? argument[i] + 32 : argument[i]) !=
            name[i - 1])
            return false;
    return i == argument.size() && !name[i - 1];
}

// Setup's own switches and the run each asks for (Person: none; "log" takes a file).
struct Switch {
    const wchar_t* name;
    Mode mode;
};
constexpr Switch kSwitches[] = {{L"quiet", Mode::Quiet},      {L"q", Mode::Quiet},
                                {L"qn", Mode::Quiet},         {L"passive", Mode::Passive},
                                {L"norestart", Mode::Person}, {L"log", Mode::Person}};

// Setup's own switch that `argument` is, or nullptr.
const Switch* OwnSwitch(const std::wstring& argument) {
    if (IsSwitch(argument))
        for (const Switch& known : kSwitches)
            if (IsSwitchNamed(argument, known.name))
                return &known;
    return nullptr;
}

// A handle number as Setup writes it: decimal digits with an optional minus sign.
bool IsHandleNumber(const std::wstring& text) {
    const size_t digits = text.find_first_not_of(L'-') == 1 ? 1 : 0;
    return text.size() > digits &&
           text.find_first_not_of(L"0123456789", digits) == std::wstring::npos;
}

CommandLine NotUnderstood(const char* why) {
    CommandLine line;
    line.problem = why;
    return line;
}
} // namespace

CommandLine ParseCommandLine(int argc, const wchar_t* const* argv) {
    if (argc < 2)
        return NotUnderstood("no argument");
    const std::wstring first = argv[1];
    CommandLine line;
    if (argc == 2 && !OwnSwitch(first)) {
        line.mode = Mode::Person;
        line.argument = first;
        return line;
    }
    if (argc == 3 && IsHandleNumber(first) && !IsSwitch(argv[2])) {
        line.mode = Mode::Cleanup;
        line.handle = _wtol(first.c_str());
        line.setupExe = argv[2];
        return line;
    }
    line.mode = Mode::Person;
    bool unattended = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        const Switch* known = OwnSwitch(argument);
        if (!known)
            return NotUnderstood("an argument is not a switch Setup knows");
        if (known->name[0] == L'l') {
            // /log FILE: once, with a file that is no switch.
            if (!line.logFile.empty() || i + 1 >= argc || IsSwitch(argv[i + 1]) || !*argv[i + 1])
                return NotUnderstood("\"/log\" without one file to log to");
            line.logFile = argv[++i];
        } else if (known->mode != Mode::Person) {
            if (unattended && known->mode != line.mode)
                return NotUnderstood("both \"/quiet\" and \"/passive\"");
            unattended = true;
            line.mode = known->mode;
        }
        // /norestart is accepted: Setup never restarts Windows itself.
    }
    return line;
}
