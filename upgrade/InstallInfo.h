// Where the installed product keeps its installation details in the registry (below HKLM).
#pragma once

// The version check spells the key in small letters; key names match without regard to case.
constexpr char kVersionKey[] = "Software\\Morvane\\Quillo\\system\\installinfo";
constexpr char kInstallInfoKey[] = "Software\\Morvane\\Quillo\\System\\InstallInfo";
constexpr char kCurrentVersionValue[] = "CurrentVersion";
constexpr char kBasePathValue[] = "BasePath";
constexpr char kProductInfoValue[] = "ProductInfo";
constexpr char kRequiredVersion[] = "4.501";
