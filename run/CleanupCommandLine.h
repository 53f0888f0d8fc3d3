// The command line that starts the clean-up copy of Setup.exe.
#pragma once

#include <string>

// The clean-up copy's command line: quoted copy path, the handle value in signed decimal, quoted
// module path. The split below gives back exactly {tempCopyPath, decimal handle, modulePath}.
// A program name cannot carry a double quote (the system and the run-time library both end it at
// the next quote), so a tempCopyPath containing one gives "", which starts nothing.
std::string BuildCleanupCommandLine(const std::string& tempCopyPath, long handleValue,
                                    const std::string& modulePath);
