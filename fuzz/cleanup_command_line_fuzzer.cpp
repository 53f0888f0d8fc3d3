// libFuzzer target for the clean-up command line: building it from the temporary copy's path, the
// process handle value and the path of Setup.exe, and splitting it back into arguments.
//
// Input: temporary copy path, 0x00, module path, 0x00, handle bytes. The handle value is the
// handle bytes read as a little-endian signed long (missing bytes are zero, extra bytes ignored).
// An input with fewer than two zero bytes gives an empty module path and handle value 0 (and,
// without any zero byte, the whole input is the temporary copy path). Both paths therefore never
// hold a zero byte, which a C string path cannot.
//
// Every input must satisfy, besides running clean under AddressSanitizer and
// UndefinedBehaviorSanitizer:
// - a temporary copy path with a double quote gives the empty command line (a program name cannot
//   carry one);
// - otherwise the command line splits into exactly three arguments: the temporary copy path, the
//   handle value in signed decimal, and the module path, each byte for byte;
// - the handle argument reads back as the handle value;
// - splitting the raw input as a command line ends, and gives no more arguments than it has
//   bytes plus one, with no more argument bytes than input bytes.
#include "run/CleanupCommandLine.h"
#include "tests/support/command_line_split.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Stops the run with a message; libFuzzer records the input as a crash.
void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property violated: %s\n", what);
        __builtin_trap();
    }
}

// Takes the bytes from position pos up to the next zero byte (or the end), and moves pos past it.
std::string TakeField(const std::string& input, std::size_t& pos) {
    std::size_t end = input.find('\0', pos);
    if (end == std::string::npos) {
        end = input.size();
    }
    std::string field = input.substr(pos, end - pos);
    pos = end < input.size() ? end + 1 : end;
    return field;
}

// The handle value from up to sizeof(long) little-endian bytes.
long ReadHandle(const std::string& bytes) {
    unsigned long value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < sizeof(long); ++i) {
        value |= static_cast<unsigned long>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    // Two's-complement reinterpretation without implementation-defined conversion.
    if (value > static_cast<unsigned long>(LONG_MAX)) {
        return -static_cast<long>(~value) - 1;
    }
    return static_cast<long>(value);
}

void CheckRawSplit(const std::string& input) {
    const std::vector<std::string> arguments = SplitCommandLine(input);
    Check(!arguments.empty(), "no program name");
    Check(arguments.size() <= input.size() + 1, "more arguments than bytes");
    std::size_t total = 0;
    for (const std::string& argument : arguments) {
        total += argument.size();
    }
    Check(total <= input.size(), "more argument bytes than input bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    CheckRawSplit(input);

    std::size_t pos = 0;
    const std::string tempCopyPath = TakeField(input, pos);
    const std::string modulePath = TakeField(input, pos);
    const long handle = ReadHandle(input.substr(pos));

    const std::string line = BuildCleanupCommandLine(tempCopyPath, handle, modulePath);

    if (tempCopyPath.find('"') != std::string::npos) {
        Check(line.empty(), "command line built for a program name with a quote");
        return 0;
    }
    Check(line.find('\0') == std::string::npos, "zero byte in the command line");
    const std::vector<std::string> arguments = SplitCommandLine(line);
    const std::vector<std::string> expected = {tempCopyPath, std::to_string(handle), modulePath};
    Check(arguments == expected, "split does not give back the three fields");

    errno = 0;
    const long readBack = std::strtol(arguments[1].c_str(), nullptr, 10);
    Check(errno == 0 && readBack == handle, "handle does not read back");
    return 0;
}
