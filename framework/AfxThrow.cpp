// The standard library reports a length or range error of a string or a
// vector through these helpers. Replacing them keeps the run-time's own
// versions out of Setup.exe: those construct std::length_error and its
// siblings, which bring in every standard exception class, a second string
// implementation and parts of the locale code, some 60 KB in all.
//
// Each error becomes a std::bad_alloc: the request could not be met, as when
// memory runs out. The program already handles that everywhere it works
// (std::exception around the upgrade, everything at the framework's entry
// points), so such an error still ends the work cleanly and never aborts.
#include <bits/functexcept.h>
#include <new>

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
