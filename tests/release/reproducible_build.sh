#!/usr/bin/env bash
# Builds Setup.exe and SetupFixedPayload.exe once more from a copy of the source tree at another
# path, in another build folder, and fails unless both are byte for byte the ones in BUILD.
#   reproducible_build.sh SOURCE BUILD WORK BUILD_TYPE [PAYLOAD_DIR]
set -euo pipefail
source=$1 build=$2 work=$3 build_type=$4 payload=${5:-}

rm -rf "$work"
mkdir -p "$work/source"
# The tree as it stands, without build output or version control.
tar -C "$source" --exclude=./.git --exclude=./build --exclude=./out -cf - . |
    tar -C "$work/source" -xf -
echo "Building again from $work/source in $work/build ..."
cmake -S "$work/source" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$work/source/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE="$build_type" -DSETUP_PAYLOAD_DIR="$payload" >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" --target Setup SetupFixedPayload -j 2 >"$work/build.log" 2>&1 ||
    { tail -n 50 "$work/build.log"; exit 1; }

status=0
for program in Setup SetupFixedPayload; do
    first=$build/$program.exe second=$work/build/$program.exe
    if cmp -s "$first" "$second"; then
        echo "$program.exe: the same $(stat -c %s "$first") bytes in both builds"
    else
        echo "$program.exe differs between $first and $second (offset, then octal bytes):"
        cmp -l "$first" "$second" | head -n 20 || true
        status=1
    fi
done
exit $status
