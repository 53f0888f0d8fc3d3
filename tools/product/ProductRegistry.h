// Writing the product's install information to the registry.
#pragma once

#include "Staging.h"

namespace product {

// The key below HKEY_LOCAL_MACHINE that holds the product's install information.
constexpr const char kInstallInfoKey[] = "Software\\Morvane\\Quillo\\System\\InstallInfo";

// Creates the install-information key and writes the values the options ask for:
// "CurrentVersion" (of options.versionType; REG_DWORD stores 4501, REG_BINARY the version's
// bytes without terminator), "BasePath" (installBase + options.basePathSuffix) and
// "ProductInfo". Returns false when the key or a value could not be written.
bool WriteProductRegistry(const ProductOptions& options, const std::string& installBase);

} // namespace product
