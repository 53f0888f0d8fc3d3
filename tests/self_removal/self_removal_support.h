// Shared ground of the self-removal tests: a folder per test below C:\QuilloTests\self_removal,
// folders and temporary copies looked at from outside, the processes an installer starts watched
// while they run (their program file, their command line, their windows), and the handles a
// test hands to the clean-up copy, which it starts with handle inheritance.
#pragma once

#include "UiDriver.h"
#include "helper_programs.h"
#include "setup_program.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace selfremoval {

// The languages, resources and licence dialog of Setup.exe, the test's folders and the
// helper programs.
using namespace testsupport;

// Bound of the wait for the clean-up copy to finish once the installer has ended. The copy
// retries the deletion of Setup.exe for about five seconds at most; the rest is for Wine to
// start and end a process.
constexpr DWORD kRemovalTimeoutMs = 30000;

// The test's own root below C:\QuilloTests\self_removal, named after the running test.
std::string TestRoot();
// `parent` + "\\" + `stem`, filled up with "x" to exactly `length` characters; `stem` alone
// when `length` is 0. Records a failure when the path with the bare stem is already longer.
std::string PathOfLength(const std::string& parent, const std::string& stem, size_t length);

// Every file below `folder` (relative path with a leading backslash) with its contents, and
// every folder (relative path with a trailing backslash) with "": what an intact tree holds.
std::map<std::string, std::string> TreeContents(const std::string& folder);
// Whether a file name has the form Del*.tmp (without regard to case), as the temporary copy's.
bool IsTemporaryCopyName(const std::string& name);
// The names of the Del*.tmp files in `folder`.
std::vector<std::string> TemporaryCopies(const std::string& folder);
// Whether two paths name the same file, compared without regard to case.
bool SamePath(const std::string& a, const std::string& b);
// One line per element, for failure messages.
std::string Joined(const std::vector<std::string>& lines);

// The visible top-level windows of a process, one description each.
std::vector<std::string> VisibleWindows(DWORD processId);
// The command line of a running process, read from its memory and split by the platform
// (CommandLineToArgvW); nullopt when it cannot be read (the process has ended, for instance).
// `process` needs PROCESS_QUERY_INFORMATION and PROCESS_VM_READ.
std::optional<std::vector<std::string>> CommandLineArguments(HANDLE process);

// A process started by a watched process, as the watch saw it.
struct SeenChild {
    DWORD id = 0;
    std::string exeName;   // the name the process list gives
    bool opened = false;   // whether the watch could open it (not when it had ended already)
    std::string imagePath; // full path of its program file; "" when it could not be read
    // Its command line split into arguments; nullopt when it ended before it could be read.
    std::optional<std::vector<std::string>> arguments;
};

// Watches the processes that one process (the installer) starts: each Look() finds new
// children in the process list, opens them, reads their program path and command line at
// once, and notes every visible top-level window they have. The destructor ends children that
// still run, so a failing test leaves none behind.
class ChildWatch {
public:
    explicit ChildWatch(DWORD parentId) : m_parentId(parentId) {}
    ~ChildWatch();
    ChildWatch(const ChildWatch&) = delete;
    ChildWatch& operator=(const ChildWatch&) = delete;

    void Look();
    // Whether every child seen so far has ended (one that could not be opened had ended).
    bool AllEnded() const;
    // The exit code of child `index`, once it has ended and when it could be opened.
    std::optional<DWORD> ExitCode(size_t index) const;
    const std::vector<SeenChild>& Children() const { return m_seen; }
    // "<exe name>: <window>" for every visible window a child showed, each once.
    const std::vector<std::string>& WindowsShown() const { return m_windows; }

private:
    DWORD m_parentId;
    std::vector<SeenChild> m_seen;
    std::vector<HANDLE> m_handles; // parallel to m_seen; nullptr when it could not be opened
    std::vector<std::string> m_windows;
};

// A kernel handle owned by a test.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~OwnedHandle() { Reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE Get() const { return m_handle; }
    void Reset(HANDLE handle = nullptr);

private:
    HANDLE m_handle;
};

// The handle value as the clean-up copy expects it on its command line: signed decimal.
std::string HandleText(HANDLE handle);
// An inheritable duplicate of `handle` (of this process) with `access`; nullptr on failure.
HANDLE InheritableDuplicate(HANDLE handle, DWORD access);

} // namespace selfremoval
