#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Compares packages made twice from one source: each pair must be the same bytes. On a difference
# diffoscope says what differs (inside archives, installers and programs too), and the check fails.
#
#   scripts/compare-builds.sh FIRST SECOND [FIRST SECOND]...
set -eu
status=0
# diffoscope reads an installer as bytes only: its tables and summary are compared as text first.
# (An exported table's binary cells land as files in the current folder: a folder of its own.)
msi_text() {
    file=$(realpath "$1")
    mkdir -p "$2" && cd "$2"
    msiinfo suminfo "$file"
    for table in $(msiinfo tables "$file" | sort); do
        echo "== $table"
        msiinfo export "$file" "$table"
    done
}
while [ $# -ge 2 ]; do
    if cmp -s "$1" "$2"; then
        echo "same bytes: $(basename "$1") ($(sha256sum <"$1" | cut -c1-16)…)"
    else
        echo "different bytes: $1 and $2"
        case "$1" in
        *.msi)
            text=$(mktemp -d)
            (msi_text "$1" "$text/1" >"$text/first") && (msi_text "$2" "$text/2" >"$text/second")
            diff -u "$text/first" "$text/second" || true
            rm -rf "$text"
            ;;
        esac
        diffoscope --no-progress --max-report-size 100000 "$1" "$2" 2>/dev/null || true
        status=1
    fi
    shift 2
done
exit "$status"
