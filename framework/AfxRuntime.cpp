// Helpers of the compiler's run-time that Setup.exe replaces by smaller ones of
// its own. Each replacement keeps what the program relies on; what it drops
// would only add to the size of a program that must stay small. Linked into
// Setup.exe alone: tests and tools keep the run-time's own versions.
#include <bits/functexcept.h>
#include <cstdlib>
#include <math.h>
#include <new>
#include <unwind.h>

// An exception that nothing catches ends the process quietly. The run-time's
// verbose handler would print to a console the program does not have and
// pulls in a symbol demangler of some 45 KB.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

// The standard library reports a length or range error of a string or a vector
// through these helpers. The run-time's versions construct std::length_error
// and its siblings, which bring in every standard exception class, a second
// string implementation and parts of the locale code, some 60 KB in all.
//
// Here each such error is a std::bad_alloc: the request could not be met, as
// when memory runs out. The program already handles that wherever it works
// (std::exception around the upgrade, everything at the framework's entry
// points), so the work still ends cleanly and never aborts.
namespace std {
void __throw_bad_alloc() {
    throw bad_alloc();
}
void __throw_bad_array_new_length() {
    throw bad_alloc();
}
void __throw_length_error(const char*) {
    throw bad_alloc();
}
void __throw_logic_error(const char*) {
    throw bad_alloc();
}
void __throw_out_of_range(const char*) {
    throw bad_alloc();
}
void __throw_out_of_range_fmt(const char*, ...) {
    throw bad_alloc();
}
} // namespace std

extern "C" {

// A domain or range error of a math function keeps the C library's default
// handling (errno and the function's result). The run-time's own handler
// would also print a line to a console the program does not have.
int _matherr(struct _exception*) {
    return 0;
}

_Unwind_Reason_Code __gxx_personality_v0(int, _Unwind_Action, _Unwind_Exception_Class,
                                         _Unwind_Exception*, _Unwind_Context*);

// With link-time optimisation GCC 12 marks some C++ functions, those whose
// only exception regions are clean-ups, with the C language's personality
// routine instead of the C++ one. Both read the tables the compiler writes the
// same way; the C++ routine is the one these functions were compiled for, and
// the run-time's separate C routine would add some 1.5 KB. Kept through
// link-time optimisation, which sees the reference only once it has generated
// the code.
__attribute__((used)) _Unwind_Reason_Code
__gcc_personality_v0(int version, _Unwind_Action actions, _Unwind_Exception_Class exceptionClass,
                     _Unwind_Exception* exception, _Unwind_Context* context) {
    return __gxx_personality_v0(version, actions, exceptionClass, exception, context);
}

} // extern "C"
