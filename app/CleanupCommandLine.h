// The command line that starts the clean-up copy of Setup.exe, and the run-time library's split
// of a command line into arguments, which the copy receives its arguments through.
#pragma once

#include <string>
#include <vector>

// The clean-up copy's command line: quoted copy path, the handle value in signed decimal, quoted
// module path. The split below gives back exactly {tempCopyPath, decimal handle, modulePath}.
// A program name cannot carry a double quote (the system and the run-time library both end it at
// the next quote), so a tempCopyPath containing one gives "", which starts nothing.
std::string BuildCleanupCommandLine(const std::string& tempCopyPath, long handleValue,
                                    const std::string& modulePath);

// The standard run-time split of a command line into arguments, as msvcrt.dll does it for
// programs built against it (Microsoft C runtime rules: blanks/tabs separate, double quotes
// group, 2n backslashes + quote -> n backslashes and a quote toggles, 2n+1 backslashes + quote
// -> n backslashes and a literal quote, "" inside quotes -> a literal quote that also ends the
// quoted part; argument 0 (program name) is taken up to the closing quote when it starts with
// one, else up to the next blank or tab, without backslash processing). Bytes are taken one at a
// time, as in a single-byte code page.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
