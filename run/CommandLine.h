// Setup's command line, in UTF-16 as Windows gives it, split into arguments (the program name as
// argument 0). Switches begin with "/" or "-" (ASCII only: a fullwidth "／" is no switch), in any
// letter case and any order:
//   /quiet, /q, /qn   unattended, no window of any kind
//   /passive          unattended, the copy window shown while the files are replaced
//   /norestart        accepted: Setup never restarts Windows itself
//   /log FILE         the log goes to FILE
// One argument that is not one of these switches, whatever its text, is a person's run (the
// product's package starts Setup so); a handle number and a path, as Setup starts its clean-up
// copy, is that copy. Anything else is not understood, and nothing is done.
#pragma once

#include <string>

struct CommandLine {
    enum class [[nodiscard]] Mode{
        Person,  // the licence dialog, the copy window, the messages
        Quiet,   // unattended, no window
        Passive, // unattended, the copy window only
        Cleanup, // the clean-up copy: argument 1 its handle number, argument 2 Setup.exe
        Invalid, // not understood: `problem` says why
    };
    Mode mode = Mode::Invalid;
    std::wstring logFile;     // "" for the default log
    std::wstring argument;    // a person's run started with one argument: that argument, to log
    const char* problem = ""; // why the command line is not understood
    long handle = 0;          // the clean-up copy's: the handle of the process it waits for
    std::wstring setupExe;    // the clean-up copy's: the Setup.exe it removes
};

[[nodiscard]] CommandLine ParseCommandLine(int argc, const wchar_t* const* argv);
