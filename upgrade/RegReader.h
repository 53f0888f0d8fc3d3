// Reads one string value of at most 255 bytes from the registry.
#pragma once

#include "framework/AfxString.h"

class CRegReader {
public:
    virtual ~CRegReader() = default;

    // Reads REG_SZ value `valueName` of key `subKey` below `root` into `out`.
    // Returns false, leaving `out` exactly as it was, when the key or value is
    // missing, the value is not REG_SZ, or its text is longer than 255 bytes.
    [[nodiscard]] bool ReadString(CString subKey, CString valueName, CString* out, HKEY root);
};
