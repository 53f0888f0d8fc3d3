// Where the installed product keeps its installation details in the registry (below HKLM).
#pragma once

// The version check spells the key in small letters; key names match without regard to case.
inline constexpr char kVersionKey[] = "Software\\Morvane\\Quillo\\system\\installinfo";
inline constexpr char kInstallInfoKey[] = "Software\\Morvane\\Quillo\\System\\InstallInfo";
inline constexpr char kCurrentVersionValue[] = "CurrentVersion";
inline constexpr char kBasePathValue[] = "BasePath";
inline constexpr char kProductInfoValue[] = "ProductInfo";
inline constexpr char kRequiredVersion[] = "4.501";
