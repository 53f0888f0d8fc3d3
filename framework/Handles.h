// One owning wrapper per kind of Windows handle. Each kind knows its own
// "no handle" value: file handles are empty at INVALID_HANDLE_VALUE, process
// and other kernel handles at NULL, registry keys are closed by RegCloseKey.
#pragma once

#include <windows.h>

#include <bcrypt.h>

template <typename Traits> class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type h) : m_h(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type Get() const { return m_h; }
    bool IsValid() const { return m_h != Traits::Empty(); }
    explicit operator bool() const { return IsValid(); }

    Type Release() {
        Type h = m_h;
        m_h = Traits::Empty();
        return h;
    }
    void Reset(Type h = Traits::Empty()) {
        if (IsValid())
            Traits::Close(m_h);
        m_h = h;
    }

private:
    Type m_h = Traits::Empty();
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Empty() { return nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};

// CNG's algorithm providers and hash objects, closed through bcrypt.dll as the program loaded it
// (framework/AfxCng.h).
struct CngAlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Empty() { return nullptr; }
    static void Close(Type h);
};

struct CngHashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Empty() { return nullptr; }
    static void Close(Type h);
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using CngAlgorithm = UniqueHandle<CngAlgorithmTraits>;
using CngHash = UniqueHandle<CngHashTraits>;
