// Setup.exe's allocation functions (framework/AfxRuntime.cpp), which replace the run-time's as
// the language lets a program: an allocation asked for with std::nothrow that cannot be met gives
// nullptr, for the program to check; one that must succeed and cannot ends the program at once
// through its one fatal exit (exit code 1603, no window) rather than carrying on. A program of its
// own without GoogleTest, which brings in the run-time's versions; it runs itself again to see the
// fatal exit. A check of the standard library that fails (a position past the end) ends the same
// way.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

// More than a 32-bit process can have; not a constant, so that the compiler does not refuse the
// request itself.
volatile std::size_t g_tooMuch = 0x7FFFFFF0u;

int g_failures = 0;

void Expect(bool condition, const char* what) {
    if (!condition) {
        std::printf("failed: %s\n", what);
        ++g_failures;
    }
}

// Runs this program again with `argument`; its exit code, or -1.
long RunSelf(const char* argument) {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string commandLine = std::string("\"") + path + "\" " + argument;
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "too-much") == 0) {
        volatile char* block = new char[g_tooMuch];
        block[0] = 1;
        return 0; // not reached: the allocation ends the program
    }
    if (argc == 2 && std::strcmp(argv[1], "past-the-end") == 0)
        return std::string("abc").at(g_tooMuch) == 'x'; // not returned: the check ends it

    char* block = new char[64];
    std::memset(block, 'x', 64);
    delete[] block;
    std::string text(1000, 'a');
    Expect(text.size() == 1000, "a string of 1000 characters");
    char* none = new (std::nothrow) char[g_tooMuch];
    Expect(none == nullptr, "std::nothrow gives nullptr for more than the process can have");
    delete[] none;
    char* some = new (std::nothrow) char[4096];
    Expect(some != nullptr, "std::nothrow gives a small block");
    delete[] some;
    Expect(RunSelf("too-much") == 1603,
           "an allocation that must succeed and cannot ends with 1603");
    Expect(RunSelf("past-the-end") == 1603, "a failed check of the library ends with 1603");

    std::printf("%s\n", g_failures ? "FAILED" : "passed");
    return g_failures ? 1 : 0;
}
