// Reading resources of a program file in a chosen language, without running it.
#include "UiDriver.h"

namespace uidriver {

namespace {

// Strings live in blocks of 16: block n holds ids 16 * (n - 1) to 16 * n - 1.
constexpr UINT kStringsPerBlock = 16;

} // namespace

ResourceFile::ResourceFile(const std::wstring& path)
    : m_module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
}

ResourceFile::~ResourceFile() {
    if (m_module)
        ::FreeLibrary(m_module);
}

bool ResourceFile::Has(LPCWSTR type, LPCWSTR name, LANGID language) const {
    return m_module && ::FindResourceExW(m_module, type, name, language) != nullptr;
}

std::string ResourceFile::Bytes(LPCWSTR type, LPCWSTR name, LANGID language) const {
    if (!m_module)
        return std::string();
    HRSRC found = ::FindResourceExW(m_module, type, name, language);
    if (!found)
        return std::string();
    HGLOBAL loaded = ::LoadResource(m_module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    DWORD size = ::SizeofResource(m_module, found);
    if (!data)
        return std::string();
    return std::string(static_cast<const char*>(data), size);
}

std::optional<std::wstring> ResourceFile::String(UINT id, LANGID language) const {
    UINT block = id / kStringsPerBlock + 1;
    std::string bytes = Bytes(kStringType, MAKEINTRESOURCEW(block), language);
    if (bytes.empty())
        return std::nullopt;
    // The block is 16 counted strings: a 16-bit length, then that many UTF-16 units.
    size_t offset = 0;
    for (UINT index = 0; index < kStringsPerBlock; ++index) {
        if (offset + 2 > bytes.size())
            return std::nullopt;
        unsigned length = static_cast<unsigned char>(bytes[offset]) |
                          (static_cast<unsigned char>(bytes[offset + 1]) << 8);
        offset += 2;
        if (offset + 2 * static_cast<size_t>(length) > bytes.size())
            return std::nullopt;
        if (index == id % kStringsPerBlock) {
            if (length == 0)
                return std::nullopt;
            std::wstring text(length, L'\0');
            for (unsigned i = 0; i < length; ++i) {
                size_t at = offset + 2 * i;
                text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[at]) |
                                               (static_cast<unsigned char>(bytes[at + 1]) << 8));
            }
            return text;
        }
        offset += 2 * static_cast<size_t>(length);
    }
    return std::nullopt;
}

} // namespace uidriver
