// The product's registry values under HKLM, written and removed through the narrow API in
// the view of a 32-bit program, which is the view Setup.exe reads.
#include "ProductRegistry.h"

namespace product {

namespace {

const char kProductKey[] = "Software\\Morvane\\Quillo";
const char kVendorKey[] = "Software\\Morvane";

bool SetString(HKEY key, const char* name, const std::string& text, DWORD type) {
    std::string data = text;
    data.push_back('\0');
    if (type == REG_MULTI_SZ) {
        data.push_back('\0');
    }
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool SetVersion(HKEY key, const ProductOptions& options) {
    if (options.versionType == REG_DWORD) {
        DWORD number = 4501;
        return RegSetValueExA(key, "CurrentVersion", 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&number),
                              sizeof number) == ERROR_SUCCESS;
    }
    if (options.versionType == REG_BINARY) {
        return RegSetValueExA(key, "CurrentVersion", 0, REG_BINARY,
                              reinterpret_cast<const BYTE*>(options.version.data()),
                              static_cast<DWORD>(options.version.size())) == ERROR_SUCCESS;
    }
    return SetString(key, "CurrentVersion", options.version, options.versionType);
}

} // namespace

void RemoveProductRegistry() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProductKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProductKey);
    // Removes the vendor key only when nothing else lives below it.
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kVendorKey);
}

bool WriteProductRegistry(const ProductOptions& options, const std::string& installBase) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallInfoKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = true;
    if (options.writeVersion) {
        ok = SetVersion(key, options) && ok;
    }
    if (options.writeBasePath) {
        ok = SetString(key, "BasePath", installBase + options.basePathSuffix, REG_SZ) && ok;
    }
    if (options.writeProductInfo) {
        ok = SetString(key, "ProductInfo", options.productInfo, REG_SZ) && ok;
    }
    RegCloseKey(key);
    return ok;
}

} // namespace product
