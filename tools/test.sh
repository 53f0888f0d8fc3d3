#!/usr/bin/env bash
# Builds Setup.exe and every test program, then runs all tests under Wine in
# a fresh prefix inside the build tree. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw

# The shared prefix, the one the text-fit runs set to other DPIs, and the one without a display.
prefixes=("$PWD/build/mingw/wineprefix" "$PWD/build/mingw/wineprefix-dpi"
    "$PWD/build/mingw/wineprefix-nodisplay")
stop_wine() { for p in "${prefixes[@]}"; do tools/stop-wine.sh "$p"; done; }
# A run starts from prefixes of its own, never from what an earlier run left.
stop_wine
rm -rf "${prefixes[@]}"
trap stop_wine EXIT

# Every source file as clang-format writes it.
find app ui run upgrade framework res tests tools bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 |
    xargs -0 clang-format --dry-run --Werror

# The pure decisions under the fuzzers for a short, bounded time.
fuzz/run.sh "${FUZZ_SECONDS:-15}"

ctest --preset mingw "$@"
