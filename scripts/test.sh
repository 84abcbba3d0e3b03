#!/bin/sh
# Installs what is missing, builds dialer-config and runs every test: once in a plain build with
# warnings as errors, once with AddressSanitizer and UndefinedBehaviorSanitizer (with a shorter
# soak), then each fuzz target for a bounded time (DIALER_FUZZ_SECONDS, default 30).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test

jobs=$(nproc)

echo "== plain build =="
cmake --preset default -DDIALER_WERROR=ON >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

echo "== sanitizer build =="
cmake --preset asan -DDIALER_WERROR=ON >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

echo "== fuzzing, ${DIALER_FUZZ_SECONDS:-30} s a target =="
scripts/fuzz.sh "${DIALER_FUZZ_SECONDS:-30}"

echo "== all tests passed =="
