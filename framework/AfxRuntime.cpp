// The global allocation functions, replaced as the C++ standard lets every program replace them
// ([replacement.functions]). Setup.exe is built without exceptions: the run-time's own throwing
// `operator new` would bring in the exception machinery for a failure the program cannot handle
// anyway. A small allocation that fails ends the program (an upgrade under way is rolled back by
// the next start); the one large allocation, the list file's buffer, asks with std::nothrow and
// is checked. Linked into Setup.exe alone: tests and tools keep the run-time's versions.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block)
        std::abort();
    return block;
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete[](void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
