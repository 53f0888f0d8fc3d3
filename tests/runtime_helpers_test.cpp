// Setup.exe's replacements of run-time helpers (framework/AfxRuntime.cpp): a
// length or range error of the standard library reaches the program as a
// std::bad_alloc, which it catches. A program of its own without GoogleTest,
// which brings in the run-time's versions of the same helpers.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

template <typename Action> void ExpectOutOfMemory(const char* what, Action action) {
    try {
        action();
        std::printf("%s: nothing thrown\n", what);
    } catch (const std::bad_alloc&) {
        return;
    } catch (...) {
        std::printf("%s: not a std::bad_alloc\n", what);
    }
    ++g_failures;
}

} // namespace

int main() {
    std::string text = "abc";
    std::vector<int> numbers(2);
    ExpectOutOfMemory("string reserve", [&] { text.reserve(text.max_size() + 1); });
    ExpectOutOfMemory("string append", [&] { text.append(text.max_size(), 'x'); });
    ExpectOutOfMemory("string at", [&] { (void)text.at(3); });
    ExpectOutOfMemory("string substr", [&] { (void)text.substr(4); });
    ExpectOutOfMemory("vector at", [&] { (void)numbers.at(2); });
    ExpectOutOfMemory("vector reserve", [&] { numbers.reserve(numbers.max_size() + 1); });
    std::printf("runtime helpers: %d of 6 cases failed\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
