// Shared ground of the self-removal tests: a folder per test below C:\QuilloTests\self_removal,
// folders and temporary copies looked at from outside, the processes an installer starts watched
// while they run (their program file, their command line, their windows), and programs started
// with handle inheritance, so that a test can hand a handle of its own to the clean-up copy.
#pragma once

#include "UiDriver.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace selfremoval {

// Bound of the wait for the clean-up copy to finish once the installer has ended. The copy
// retries the deletion of Setup.exe for about five seconds at most; the rest is for Wine to
// start and end a process.
constexpr DWORD kRemovalTimeoutMs = 30000;

// The test's own root below C:\QuilloTests\self_removal, named after the running test.
std::string TestRoot();
// The full path of a program the build puts next to the test program ("Setup.exe").
std::string BuiltProgram(const std::string& fileName);
// `parent` + "\\" + `stem`, filled up with "x" to exactly `length` characters; `stem` alone
// when `length` is 0. Records a failure when the path with the bare stem is already longer.
std::string PathOfLength(const std::string& parent, const std::string& stem, size_t length);

// The names of the entries of a folder (not "." and ".."), sorted.
std::vector<std::string> FolderEntries(const std::string& folder);
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
    const std::vector<SeenChild>& Children() const { return m_seen; }
    // "<exe name>: <window>" for every visible window a child showed, each once.
    const std::vector<std::string>& WindowsShown() const { return m_windows; }

private:
    DWORD m_parentId;
    std::vector<SeenChild> m_seen;
    std::vector<HANDLE> m_handles; // parallel to m_seen; nullptr when it could not be opened
    std::vector<std::string> m_windows;
};

// A program started by a test with handle inheritance, so that it receives the test's
// inheritable handles under the same values. Movable, not copyable; the destructor ends the
// program if it still runs.
class InheritingProcess {
public:
    InheritingProcess() = default;
    InheritingProcess(InheritingProcess&& other) noexcept;
    InheritingProcess& operator=(InheritingProcess&& other) noexcept;
    InheritingProcess(const InheritingProcess&) = delete;
    InheritingProcess& operator=(const InheritingProcess&) = delete;
    ~InheritingProcess();

    // Starts `exe` with exactly `commandLine` (argument 0 included) in `workingDirectory`.
    static InheritingProcess Start(const std::string& exe, const std::string& commandLine,
                                   const std::string& workingDirectory);

    bool Started() const { return m_process != nullptr; }
    DWORD StartError() const { return m_startError; }
    DWORD Id() const { return m_id; }
    bool IsRunning() const;
    // Waits up to `timeoutMs` for the end, calling `whileWaiting` about every 20 ms; true when
    // the program has ended.
    bool WaitForExit(DWORD timeoutMs, const std::function<void()>& whileWaiting = {}) const;
    std::optional<DWORD> ExitCode() const;
    void Kill();

private:
    HANDLE m_process = nullptr;
    DWORD m_id = 0;
    DWORD m_startError = 0;
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
