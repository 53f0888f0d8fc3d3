// Who holds the product's files, as the system's Restart Manager reports them, and what Setup
// makes of it. Pure: no system call.
#pragma once

#include <string>
#include <vector>

struct Holder {
    wchar_t name[256]; // the application's name, or the service's
    unsigned long processId = 0;
    unsigned long session = 0;
    bool critical = false;  // a process the system cannot do without: never asked to close
    bool stopped = false;   // Restart Manager has shut it down (or it has ended since)
    bool restarted = false; // and started it again
};

// The holders Setup asks to close: those in Setup's own session, but the system's critical
// processes and Setup itself. Windows closes no program of another session for its caller (nor
// of another user for LocalSystem), so a holder there is never asked, for anyone.
[[nodiscard]] std::vector<Holder> HoldersToClose(const std::vector<Holder>& holders,
                                                 unsigned long setupProcessId,
                                                 unsigned long setupSession);
// The holders as the log reads them: "Quillo Look (process 1234, session 1)", one after the
// other, separated by `separator`.
[[nodiscard]] std::wstring HolderNames(const std::vector<Holder>& holders,
                                       const wchar_t* separator);
// The holders as a person reads them: their names alone, each cut to kNameShown characters, the
// first kNamesShown of them, then `more` with its "%s" filled with how many are left out; so that
// a message that lists them fits the screen.
constexpr size_t kNameShown = 64;
constexpr size_t kNamesShown = 5;
[[nodiscard]] std::wstring NamesForPerson(const std::vector<Holder>& holders,
                                          const wchar_t* separator, const std::wstring& more);
// What became of the holder `asked` to close, as the log says it, by what Restart Manager lists
// `after` the shutdown and the restart.
[[nodiscard]] const wchar_t* WhatBecameOf(const Holder& asked, const std::vector<Holder>& after);
