#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# The Windows lane, as root on Debian 12. It cross-builds the Windows programs and tests with
# mingw-w64 (the `windows` preset) and runs, each a step of its own:
#   1. every cross-built test through CTest under wine (cmake/wine-run.sh, a throwaway prefix);
#   2. dialerctl.exe through wine's COM ports to simulated dialers (tests/windows), and the
#      benchmark of three ports against one (bench/bench_wine_dialerctl.py);
#   3. the signing script as a release runs it (tests/windows/test_signing.py);
#   4. the .msi and the .zip, built twice in two folders and compared; then signed with keys made
#      for the run and timestamped by a server of the run's own (tests/support/timestamp_server.py),
#      every signature verified (tests/windows/check_signed.py);
#   5. the signed .msi's life under wine, the next version's signed .msi its update
#      (scripts/test-msi.sh).
# Qt for Windows is unpacked from ../shared/windows or, where no prebuilt tarball is, built once by
# scripts/build-qt-windows.sh into the cache. Prints each step and 'windows: N passed, N failed'.
set -eu
cd "$(dirname "$0")/.."
qt=${DIALER_QT_WINDOWS:-/var/cache/dialer-config/qt6-mingw-6.4.2}
export DIALER_QT_WINDOWS="$qt"
scripts/install-deps.sh --windows

if [ ! -f "$qt/toolchain-mingw64.cmake" ]; then
    prebuilt="../shared/windows/qt6-mingw-6.4.2.tar.xz"
    if [ -f "$prebuilt" ]; then
        echo "== Qt for Windows from $prebuilt =="
        tmp=$(mktemp -d)
        tar -C "$tmp" -xJf "$prebuilt"
        mkdir -p "$(dirname "$qt")"
        rm -rf "$qt"
        mv "$tmp/qt6-mingw" "$qt"
        rmdir "$tmp"
    else
        echo "== building Qt for Windows into $qt (some 40 minutes) =="
        scripts/build-qt-windows.sh "$qt"
    fi
fi

# The Linux side's simulator answers here, and its end-to-end test drives the Windows window.
if [ ! -x build/tools/dialer-sim/dialer-sim ] || [ ! -x build/tests/e2e/tst_e2e ]; then
    cmake --preset default >/dev/null
    cmake --build --preset default --target dialer-sim tst_e2e
fi
echo "== Windows build =="
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"

work=$(mktemp -d)
timestamps=""
cleanup() {
    [ -z "$timestamps" ] || kill "$timestamps" 2>/dev/null || true
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    for home in "$work/keys/gnupg" "$work/keys/other-gnupg"; do
        [ ! -d "$home" ] || gpgconf --homedir "$home" --kill all 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
# The prefix of the tests, the checks and the benchmark.
export WINEPREFIX="$work/prefix"
passed=0
failed=0
step() {
    name=$1
    shift
    echo "== $name =="
    if "$@"; then
        passed=$((passed + 1))
        echo "PASS  $name"
    else
        failed=$((failed + 1))
        echo "FAIL  $name"
    fi
}

step "tests under wine" ctest --preset windows
step "dialerctl.exe through wine's COM ports" python3 tests/windows/test_dialerctl_exe.py
step "bench: dialerctl.exe on three ports against one" python3 bench/bench_wine_dialerctl.py 5
step "the signing script: keys without a password, a timestamp required of a release's key" \
    python3 tests/windows/test_signing.py

# Every file in the packages takes the time of the last commit.
. scripts/reproducible.sh
version="" display_version=""
# shellcheck source=/dev/null
. build-windows/windows/package.env
msi=dialer-config-$display_version.msi
zip=dialer-config-$display_version-windows.zip
# The same sources in another folder, as another clone would be, with times of their own.
elsewhere="$work/elsewhere/dialer-config"
copy_sources "$elsewhere"
package_elsewhere() {
    (cd "$elsewhere" && cmake --preset windows "$@" >/dev/null &&
        cmake --build --preset windows --target dialer-config dialerctl >/dev/null &&
        scripts/package-windows.sh build-windows) >>"$work/elsewhere.log" 2>&1 ||
        { cat "$work/elsewhere.log" && false; }
}
twice() {
    scripts/package-windows.sh build-windows && package_elsewhere &&
        scripts/compare-builds.sh "build-windows/$msi" "$elsewhere/build-windows/$msi" \
            "build-windows/$zip" "$elsewhere/build-windows/$zip"
}
step "$msi and $zip built twice, in two folders: the same bytes" twice

# Signed once they compare, with keys made for this run, as a release is signed with its own,
# and timestamped as a release is, by a server of the run's own.
# shellcheck source=/dev/null
signed() {
    mkdir -p "$work/unsigned" &&
        cp "build-windows/$msi" "build-windows/$zip" build-windows/SHA256SUMS "$work/unsigned/" &&
        scripts/throwaway-keys.sh "$work/keys" && . "$work/keys/keys.env" || return 1
    python3 tests/support/timestamp_server.py "$work/keys" >"$work/timestamps" &
    timestamps=$!
    i=0
    while [ ! -s "$work/timestamps" ] && [ $i -lt 50 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    DIALER_SIGN_TIMESTAMP=$(cat "$work/timestamps") && export DIALER_SIGN_TIMESTAMP &&
        scripts/package-windows.sh build-windows >/dev/null &&
        python3 tests/windows/check_signed.py "$work/unsigned" build-windows "$work/keys"
}
step "signed with throwaway keys and timestamped, every signature verified" signed

# That folder at the next patch version, signed as well, for the update.
next=$(echo "$version" | awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }')
next_version() {
    package_elsewhere -DDIALER_VERSION="$next" || return 1
    # shellcheck source=/dev/null
    next_display=$(. "$elsewhere/build-windows/windows/package.env" && echo "$display_version")
    next_msi="$elsewhere/build-windows/dialer-config-$next_display.msi"
    next_zip="$elsewhere/build-windows/dialer-config-$next_display-windows.zip"
    osslsigncode verify -CAfile "$work/keys/sign-cert.pem" -TSA-CAfile "$work/keys/tsa-cert.pem" \
        -in "$next_msi" >"$work/verify.log" ||
        { cat "$work/verify.log" && false; }
}
next_msi=none next_zip=none
step "the next version's signed packages, for the update" next_version
step "the signed .msi's life under wine" \
    scripts/test-msi.sh "build-windows/$msi" "$next_msi" "$next_zip"

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
