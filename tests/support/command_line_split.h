// The run-time library's split of a command line into arguments, as msvcrt.dll does it for the
// programs built against it: the oracle that the clean-up copy's command line is checked against.
#pragma once

#include <string>
#include <vector>

// Microsoft C runtime rules: blanks/tabs separate, double quotes group, 2n backslashes + quote ->
// n backslashes and a quote toggles, 2n+1 backslashes + quote -> n backslashes and a literal
// quote, "" inside quotes -> a literal quote that also ends the quoted part; argument 0 (program
// name) is taken up to the closing quote when it starts with one, else up to the next blank or
// tab, without backslash processing. Bytes are taken one at a time, as in a single-byte code
// page.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
