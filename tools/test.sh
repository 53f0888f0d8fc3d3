#!/usr/bin/env bash
# Builds Setup.exe and every test program, then runs all tests under Wine in
# a fresh prefix inside the build tree. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw

prefix="$PWD/build/mingw/wineprefix"
stop_wine() { tools/stop-wine.sh "$prefix"; }
# A run starts from a prefix of its own, never from what an earlier run left.
stop_wine
rm -rf "$prefix"
trap stop_wine EXIT

# The pure decisions under the fuzzers for a short, bounded time.
fuzz/run.sh "${FUZZ_SECONDS:-15}"

ctest --preset mingw "$@"
