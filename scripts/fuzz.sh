#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# each for the given number of seconds (default 60), starting from the seed corpus in
# tests/fuzz/corpus. New inputs go to a scratch folder, never into the repository.
#   scripts/fuzz.sh [seconds] [target ...]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"fuzz_readresponse fuzz_settingsfile fuzz_verdict fuzz_inetaddress"}

cmake --preset fuzz >/dev/null
# shellcheck disable=SC2086
cmake --build --preset fuzz --target $targets

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in $targets; do
    seeds="tests/fuzz/corpus/${target#fuzz_}"
    mkdir -p "$scratch/$target"
    echo "== $target: $seconds s =="
    build-fuzz/tests/fuzz/"$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$scratch/$target-" "$scratch/$target" "$seeds" 2>&1 |
        tee "$scratch/$target.log" | grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb)|ERROR|SUMMARY|Done" ||
        { cat "$scratch/$target.log"; exit 1; }
    if ! grep -q "^Done" "$scratch/$target.log"; then
        tail -40 "$scratch/$target.log"
        echo "== $target failed; its crashing input: =="
        ls "$scratch"/"$target"-* 2>/dev/null
        exit 1
    fi
done
echo "== fuzzing clean =="
