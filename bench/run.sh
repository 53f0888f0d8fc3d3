#!/usr/bin/env bash
# Builds the benchmarks and runs them under Wine in a prefix of their own
# (build/mingw/bench-prefix, files only on its C: drive), prints one line per
# figure with its measured value and its limit, and writes bench/RESULTS.md.
#   bench/run.sh                 all figures; writes bench/RESULTS.md
#   bench/run.sh GROUP...        only these groups (registration, memory,
#                                payload, startup, nsis); the size is always
#                                measured; writes build/mingw/bench-output/RESULTS.md
# Exits 0 when the figures were measured, whether or not they meet their
# limits: it reports, it does not judge.
set -euo pipefail
cd "$(dirname "$0")/.."

# The NSIS peer is built with makensis (Debian's nsis: tools/install-deps.sh installs it).
if ! command -v makensis >/dev/null; then
    echo "bench: makensis is missing; tools/install-deps.sh installs it" >&2
    exit 1
fi
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target Setup quillo_bench MinimalDialog SetupMapped QuilloPeer \
    >/dev/null

build="$PWD/build/mingw"
prefix="$build/bench-prefix"
output="$build/bench-output"
mkdir -p "$output"

stop_wine() { tools/stop-wine.sh "$prefix"; }
trap stop_wine EXIT

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
memory=$(free -h | awk '/^Mem:/ {print $2 " total, " $7 " available"}')
build_type=$(grep -m1 '^CMAKE_BUILD_TYPE' "$build/CMakeCache.txt" | cut -d= -f2)
# The commit measured, and whether the work tree differed from it (the report itself aside).
commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no -- . ':(exclude)bench/RESULTS.md')" ]; then
    commit="$commit, with uncommitted changes"
fi
{
    echo "- Commit: $commit"
    echo "- Date: $(date -u)"
    echo "- Processors: $(nproc); CPU: $cpu"
    echo "- Memory: $memory"
    echo "- Wine: $(wine --version)"
    echo "- Load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)" \
        "(other programs may share the machine)"
    echo "- Setup.exe: build/mingw/Setup.exe, $(stat -c %s "$build/Setup.exe") bytes," \
        "build type $build_type"
    echo "- NSIS peer: $(makensis -VERSION) (bench/QuilloPeer.nsi), build/mingw/QuilloPeer.exe" \
        "$(stat -c %s "$build/QuilloPeer.exe") bytes"
} >"$output/machine.md"

# Boots the prefix first, so that its creation is not part of any figure.
tools/wine-run.sh --prefix "$prefix" cmd /c exit >/dev/null 2>&1 || true
# The program's lines go to figures.tsv; progress and problems are shown as they come. Wine's
# trace of the traced start-up runs comes on the standard error: wine-trace.txt.
tools/wine-run.sh --prefix "$prefix" "$build/quillo_bench.exe" "$@" 2>"$output/wine-trace.txt" |
    tr -d '\r' |
    tee "$output/figures.tsv" |
    awk -F'\t' '$1 == "progress" || ($1 == "detail" && $2 ~ /^PROBLEM/) {
        print "bench: " $2; fflush()
    }'

if [ $# -eq 0 ]; then
    results="bench/RESULTS.md"
else
    results="$output/RESULTS.md"
fi
python3 bench/report.py --figures "$output/figures.tsv" --exe "$build/Setup.exe" \
    --objdump i686-w64-mingw32-objdump --map "$build/bench/Setup.map" \
    --mapped-exe "$build/bench/SetupMapped.exe" \
    --machine "$output/machine.md" --trace "$output/wine-trace.txt" --out "$results"
echo "Written: $results"
