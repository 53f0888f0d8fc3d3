// An exception that nothing catches ends the process quietly. This replaces
// the run-time's verbose handler, which would print to a console the program
// does not have and pulls a symbol demangler of some 45 KB into Setup.exe.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
