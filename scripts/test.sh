#!/bin/sh
# Installs what is missing, builds dialer-config and runs every test: once in a plain build with
# warnings as errors, once with AddressSanitizer and UndefinedBehaviorSanitizer (with a shorter
# soak), then each fuzz target for a bounded time (DIALER_FUZZ_SECONDS, default 30).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test

jobs=$(nproc)

echo "== plain build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIALER_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== sanitizer build =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDIALER_SANITIZE=ON \
      -DDIALER_BENCH=OFF -DDIALER_SOAK_EXCHANGES=100 >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$(pwd)/tests/lsan.supp \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== fuzzing, ${DIALER_FUZZ_SECONDS:-30} s a target =="
scripts/fuzz.sh "${DIALER_FUZZ_SECONDS:-30}"

echo "== all tests passed =="
