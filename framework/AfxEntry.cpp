#include "AfxApp.h"

#include <cstdlib>

// Setup.exe's entry point, in place of the run-time library's start-up code: msvcrt.dll sets
// itself up as it is loaded, and of the start-up code's work Setup needs only the static objects'
// constructors, with their destructors at the exit. The rest of it (thread-local storage, the
// pseudo-relocations, the floating-point and math hooks, the arguments in 8 bits, a crash handler
// Setup replaces at once) has nothing to do here.
extern "C" void __main(); // the static constructors, run once; their destructors to atexit
// The destructors go to the run-time library's own list, which std::exit runs.
extern "C" int atexit(void (*destructor)()) {
    return _onexit(reinterpret_cast<_onexit_t>(destructor)) ? 0 : -1;
}
extern "C" [[noreturn, gnu::force_align_arg_pointer]] void WinMainCRTStartup() {
    __main();
    std::exit(AfxWinMain(::GetModuleHandleA(nullptr)));
}
