#!/usr/bin/env bash
# Builds the fuzzers natively with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build/fuzz/ and runs them side by side for
# the given number of seconds (default 20), each on a fresh copy of its seed
# corpus under build/fuzz/, so the committed seeds are never written to.
# Prints one summary line per fuzzer and exits non-zero when either finds a
# crash, a property violation, a leak or a hang, or does not finish in time.
#
#   fuzz/run.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-20}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: fuzz/run.sh [seconds]" >&2
    exit 2
fi

cxx="${CXX_FUZZ:-clang++}"
if ! command -v "$cxx" >/dev/null; then
    echo "fuzz: $cxx not found (Debian: apt-get install clang libclang-rt-dev)" >&2
    exit 2
fi

out=build/fuzz
mkdir -p "$out"
flags=(-std=c++17 -g -O1 -fno-omit-frame-pointer -Wall -Wextra -I.
       "-fsanitize=fuzzer,address,undefined" -fno-sanitize-recover=undefined)

# name, sources of the code under test, largest input
targets=(
    "app_list_rewrite upgrade/AppListRewrite.cpp upgrade/PathRules.cpp 4096"
    "cleanup_command_line run/CleanupCommandLine.cpp upgrade/PathRules.cpp tests/support/command_line_split.cpp 1024"
    "path_rules upgrade/PathRules.cpp 1024"
    "journal upgrade/Journal.cpp upgrade/Recovery.cpp upgrade/PayloadRules.cpp upgrade/PathRules.cpp 2048"
)

for target in "${targets[@]}"; do
    read -r name sources <<<"$target"
    sources=(${sources% *}) # without the largest input
    echo "fuzz: building $out/${name}_fuzzer"
    "$cxx" "${flags[@]}" "fuzz/${name}_fuzzer.cpp" "${sources[@]}" -o "$out/${name}_fuzzer"
done

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
pids=()
for target in "${targets[@]}"; do
    read -r name _ <<<"$target"
    maxlen="${target##* }"
    corpus="$out/corpus/$name"
    artifacts="$out/artifacts/$name"
    rm -rf "$corpus" "$artifacts"
    mkdir -p "$corpus" "$artifacts"
    cp "fuzz/corpus/$name/"* "$corpus/"
    # The outer timeout is a backstop only: libFuzzer stops itself after
    # -max_total_time, and -timeout turns a single slow input into a finding.
    timeout --signal=INT --kill-after=5 $((seconds + 25)) \
        "$out/${name}_fuzzer" "$corpus" \
        -dict="fuzz/$name.dict" -max_len="$maxlen" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -use_value_profile=1 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" >"$out/$name.log" 2>&1 &
    pids+=($!)
done

failed=0
i=0
for target in "${targets[@]}"; do
    read -r name _ <<<"$target"
    status=0
    wait "${pids[$i]}" || status=$?
    i=$((i + 1))
    log="$out/$name.log"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p' <<<"$last")
    if [ "$status" -eq 0 ]; then
        echo "fuzz: $name: OK - ${runs:-?} runs in $seconds s (${speed:-?} exec/s)," \
            "cov ${cov:-?}, features ${ft:-?}, corpus ${corp:-?} units/bytes"
    else
        failed=1
        echo "fuzz: $name: FAILED (exit $status) after ${runs:-?} runs;" \
            "see $log and $out/artifacts/$name/"
        grep -E 'ERROR|property violated|runtime error|SUMMARY|Test unit written' "$log" |
            head -n 20 >&2 || true
    fi
done
exit "$failed"
