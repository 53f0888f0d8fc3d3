#include "RegReader.h"

#include "framework/Handles.h"

namespace {
constexpr DWORD kValueBufferSize = 256;
} // namespace

bool CRegReader::ReadString(CString subKey, CString valueName, CString* out, HKEY root) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(root, subKey, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegKey key(opened);

    BYTE buffer[kValueBufferSize];
    DWORD size = kValueBufferSize;
    DWORD type = REG_NONE;
    if (::RegQueryValueExA(key.Get(), valueName, nullptr, &type, buffer, &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ || size > kValueBufferSize)
        return false;

    // Take only the bytes the query returned, up to the first NUL. Data that
    // fills the whole buffer without a terminator is 256 bytes of text, one
    // more than a value may hold: it is refused like any longer value.
    DWORD length = 0;
    while (length < size && buffer[length] != 0)
        ++length;
    if (length == kValueBufferSize)
        return false;
    if (out)
        *out = CString(reinterpret_cast<const char*>(buffer), static_cast<int>(length));
    return true;
}
