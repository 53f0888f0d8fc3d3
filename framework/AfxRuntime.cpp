// Helpers of the compiler's run-time that Setup.exe replaces by smaller ones of
// its own. Each replacement keeps what the program relies on; what it drops
// would only add to the size of a program that must stay small. Linked into
// Setup.exe alone: tests and tools keep the run-time's own versions.
#include <bits/functexcept.h>
#include <cstdint>
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

// The unwinder finds the table entry (FDE) of each function it unwinds through by asking
// _Unwind_Find_FDE. The run-time's version keeps sorted search tables for programs that load
// and unload many modules, some 10 KB; this program has one table, its own .eh_frame section,
// which crtbegin registers at start-up, and throws only on rare errors. A linear walk of that
// table finds the same entry.
namespace {
const unsigned char* g_ehFrame = nullptr;

// DWARF pointer encodings of the exception tables (low four bits: format; next three: base).
constexpr unsigned char kEncodingFormat = 0x0f;
constexpr unsigned char kEncodingPcRelative = 0x10;
constexpr unsigned char kEncodingBase = 0x70;
constexpr unsigned char kEncodingIndirect = 0x80;

uintptr_t ReadUnsignedLeb(const unsigned char*& p) {
    uintptr_t value = 0;
    unsigned shift = 0;
    unsigned char byte;
    do {
        byte = *p++;
        value |= static_cast<uintptr_t>(byte & 0x7f) << shift;
        shift += 7;
    } while (byte & 0x80);
    return value;
}

template <typename T> uintptr_t ReadFixed(const unsigned char*& p) {
    T value;
    __builtin_memcpy(&value, p, sizeof value);
    p += sizeof value;
    return static_cast<uintptr_t>(value);
}

// Reads a pointer in `encoding`; `apply` resolves a pc-relative or indirect one.
uintptr_t ReadEncoded(unsigned char encoding, const unsigned char*& p, bool apply) {
    const unsigned char* start = p;
    uintptr_t value = 0;
    switch (encoding & kEncodingFormat) {
    case 0x00: // absolute, pointer-sized
    case 0x03: // unsigned, 4 bytes
        value = ReadFixed<uint32_t>(p);
        break;
    case 0x0b: // signed, 4 bytes
        value = ReadFixed<int32_t>(p);
        break;
    case 0x02:
        value = ReadFixed<uint16_t>(p);
        break;
    case 0x0a:
        value = ReadFixed<int16_t>(p);
        break;
    case 0x01:
        value = ReadUnsignedLeb(p);
        break;
    default: // not written by this compiler for this target
        std::abort();
    }
    if (apply && value != 0) {
        if ((encoding & kEncodingBase) == kEncodingPcRelative)
            value += reinterpret_cast<uintptr_t>(start);
        if (encoding & kEncodingIndirect)
            value = *reinterpret_cast<const uintptr_t*>(value);
    }
    return value;
}

// The encoding a CIE gives the addresses of its FDEs (augmentation 'R'; absolute without one).
unsigned char AddressEncoding(const unsigned char* cie) {
    const unsigned char* p = cie + 8; // after the length and the CIE id
    unsigned char version = *p++;
    const char* augmentation = reinterpret_cast<const char*>(p);
    p += __builtin_strlen(augmentation) + 1;
    ReadUnsignedLeb(p); // code alignment
    ReadUnsignedLeb(p); // data alignment (signed; only skipped)
    if (version == 1)
        ++p; // return address register
    else
        ReadUnsignedLeb(p);
    if (augmentation[0] != 'z')
        return 0;
    ReadUnsignedLeb(p); // augmentation data length
    for (const char* a = augmentation + 1; *a; ++a) {
        if (*a == 'R')
            return *p;
        if (*a == 'P') {
            unsigned char personality = *p++;
            ReadEncoded(personality, p, false);
        } else if (*a == 'L') {
            ++p;
        }
    }
    return 0;
}
} // namespace

extern "C" {
struct object;
struct dwarf_eh_bases {
    void* tbase;
    void* dbase;
    void* func;
};

void __register_frame_info(const void* begin, struct object*) {
    g_ehFrame = static_cast<const unsigned char*>(begin);
}

void* __deregister_frame_info(const void* begin) {
    if (begin == g_ehFrame)
        g_ehFrame = nullptr;
    return nullptr;
}

const void* _Unwind_Find_FDE(void* pc, struct dwarf_eh_bases* bases) {
    const unsigned char* p = g_ehFrame;
    while (p) {
        uint32_t length;
        int32_t cieOffset;
        __builtin_memcpy(&length, p, 4);
        if (length == 0) // the table's end
            break;
        __builtin_memcpy(&cieOffset, p + 4, 4);
        if (cieOffset != 0) { // an FDE; a CIE has the id 0
            unsigned char encoding = AddressEncoding(p + 4 - cieOffset);
            const unsigned char* q = p + 8;
            uintptr_t begin = ReadEncoded(encoding, q, true);
            uintptr_t range = ReadEncoded(encoding & kEncodingFormat, q, false);
            // A function the linker dropped keeps an FDE that begins at 0.
            if (begin != 0 && reinterpret_cast<uintptr_t>(pc) - begin < range) {
                bases->tbase = nullptr;
                bases->dbase = nullptr;
                bases->func = reinterpret_cast<void*>(begin);
                return p;
            }
        }
        p += 4 + length;
    }
    return nullptr;
}

// The exceptions being handled, per thread in the run-time's version, which brings in emulated
// thread-local storage. Setup runs its code on one thread; the system's threads (the animation
// control's, say) never throw.
void* __cxa_get_globals() noexcept {
    alignas(void*) static unsigned char globals[4 * sizeof(void*)];
    return globals;
}

void* __cxa_get_globals_fast() noexcept {
    return __cxa_get_globals();
}
} // extern "C"
