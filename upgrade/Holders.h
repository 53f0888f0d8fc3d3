// Who holds the product's files, as the system's Restart Manager reports them, and what Setup
// makes of it. Pure: no system call.
#pragma once

#include <string>
#include <vector>

struct Holder {
    wchar_t name[256]; // the application's name, or the service's
    unsigned long processId = 0;
    unsigned long session = 0;
    bool critical = false; // a process the system cannot do without: never asked to close
};

// The holders Setup asks to close: every one but the system's critical processes and Setup.
[[nodiscard]] std::vector<Holder> HoldersToClose(const std::vector<Holder>& holders,
                                                 unsigned long setupProcessId);
// The holders as the log and the person read them: "Quillo Look (process 1234, session 1)",
// one after the other, separated by `separator`.
[[nodiscard]] std::wstring HolderNames(const std::vector<Holder>& holders,
                                       const wchar_t* separator);
