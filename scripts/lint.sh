#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Static analysis with zero findings: clang-tidy with the checks in .clang-tidy, clazy's Qt-aware
# checks of levels 0 and 1, and shellcheck on every script. Analyses the default build's compile
# commands, building it first so that generated headers exist.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
jobs=$(nproc)

cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs" >/dev/null
# The fuzz targets build only with clang's fuzzer runtime, in a build of their own.
sources=$(git ls-files 'src/*.cpp' 'tools/*.cpp' 'tests/*.cpp' 'bench/*.cpp' | grep -v -e '^tests/fuzz/' -e '_win\.cpp$')
log=$(mktemp)
trap 'rm -f "$log"' EXIT

echo "== clang-tidy =="
# shellcheck disable=SC2086
if ! run-clang-tidy -quiet -j "$jobs" -p build $sources >"$log" 2>&1; then
    grep -E "(warning|error):" "$log" | sort -u
    echo "clang-tidy found the above" >&2
    exit 1
fi

echo "== clazy (level 0 and 1) =="
# shellcheck disable=SC2086
printf '%s\n' $sources |
    xargs -P "$jobs" -n 4 clazy-standalone -p build/compile_commands.json -checks=level0,level1 \
        -header-filter="$top/(src|tools|bench|tests)/" >"$log" 2>&1 || true
if grep -E "(warning|error):" "$log"; then
    echo "clazy found the above" >&2
    exit 1
fi

echo "== shellcheck =="
shellcheck scripts/*.sh tests/hardware/*.sh cmake/*.sh .ci/run

echo "== static analysis clean =="
