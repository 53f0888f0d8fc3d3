// The run-time helpers of Setup.exe that end it on a fault it cannot carry on from.
// Setup.exe is built without exceptions: the allocation functions are replaced as the language
// lets every program replace them ([replacement.functions]), and the standard library's
// throw helpers that its headers call are defined here rather than taken from the library, which
// would bring in the whole exception machinery. Should the library ever call a helper not defined
// here, its own definitions of all of them come in with it and the link fails on the ones below:
// a new helper cannot slip in unnoticed.
//
// Every such fault ends through AfxFatalExit (AfxFatal.cpp).
#include "AfxApp.h"

#include <bits/functexcept.h>
#include <cstdlib>
#include <new>

// The library's array form and every operator delete stay its own: they call these, and free.
void* operator new(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block)
        AfxFatalExit();
    return block;
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}

// The helpers the library's headers call for a length past max_size(), a position past the end
// or an allocation that cannot be met: each a fault of the program.
namespace std {
void __throw_bad_alloc() {
    AfxFatalExit();
}
void __throw_bad_array_new_length() {
    AfxFatalExit();
}
void __throw_logic_error(const char*) {
    AfxFatalExit();
}
void __throw_length_error(const char*) {
    AfxFatalExit();
}
void __throw_out_of_range(const char*) {
    AfxFatalExit();
}
void __throw_out_of_range_fmt(const char*, ...) {
    AfxFatalExit();
}
} // namespace std
