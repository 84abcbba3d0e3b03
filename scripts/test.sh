#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Installs what is missing, builds dialer-config and runs every check:
#   1. a plain build with warnings as errors and every test; the soak runs beside
#   2. static analysis (clang-tidy, clazy, shellcheck) and the licence check (reuse lint), and
#   3. the Debian package, checked by lintian, appstreamcli and desktop-file-validate, its
#      SHA256SUMS signed and a signed apt repository made of it, with keys made for the run;
#   4. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer (shorter soak);
#   5. each fuzz target for a bounded time (DIALER_FUZZ_SECONDS, default 30);
#   6. the Ansible collection: its checks, its modules' unit tests, and playbooks over a fleet of
#      simulated site PCs.
#
#   scripts/test.sh --quick   the plain build and every test but the soak, in a few minutes: the
#                             lane for the person at the keyboard. CI runs everything.
set -eu
cd "$(dirname "$0")/.."
quick=false
case "${1:-}" in
--quick) quick=true ;;
"") ;;
*)
    echo "usage: scripts/test.sh [--quick]" >&2
    exit 2
    ;;
esac
scripts/install-deps.sh --test

jobs=$(nproc)

echo "== plain build =="
cmake --preset default -DDIALER_WERROR=ON >/dev/null
cmake --build --preset default -j "$jobs"
ansible_lane() {
    echo "== Ansible collection =="
    scripts/lint-ansible.sh
    # The modules on a table of cases with dialerctl mocked (seconds, no root), then playbooks.
    PYTHONPATH=ansible /usr/bin/python3 -B tests/support/unittest_summary.py \
        ansible/ansible_collections/dialerconfig/dialer/tests/unit/plugins/modules
    /usr/bin/python3 tests/ansible/test_collection.py
}
if $quick; then
    ctest --preset default -j "$jobs" --label-exclude soak
    ansible_lane
    echo "== quick lane passed (soak, analysis, package, sanitizers and fuzzing not run) =="
    exit 0
fi
ctest --preset default -j "$jobs" --label-exclude soak

# The soak spends its time waiting out 500 ms windows; the analysis and the package build beside it
# at the lowest priority, so that its timers keep their time.
echo "== soak, beside static analysis, licences and the package =="
ctest --preset default --label-regex soak >build/soak.log 2>&1 &
soak=$!
# Keys made for this run sign SHA256SUMS and the apt repository, as a release's own would.
keys=$(mktemp -d)
finish() {
    kill "$soak" 2>/dev/null || true
    for home in "$keys/gnupg" "$keys/other-gnupg"; do
        [ ! -d "$home" ] || gpgconf --homedir "$home" --kill all 2>/dev/null || true
    done
    rm -rf "$keys"
}
trap finish EXIT
nice -n 19 scripts/lint.sh
reuse lint
scripts/throwaway-keys.sh "$keys"
# shellcheck source=/dev/null
(. "$keys/keys.env" && nice -n 19 scripts/package.sh --first)
if ! wait "$soak"; then
    cat build/soak.log
    exit 1
fi
grep "tests passed" build/soak.log
# The package's second build, which would load the machine while the soak keeps its time.
scripts/package.sh --again
echo "== the signed release: SHA256SUMS.asc, the apt repository =="
DIALER_KEYS="$keys" /usr/bin/python3 tests/packaging/test_release_linux.py

echo "== sanitizer build =="
cmake --preset asan -DDIALER_WERROR=ON >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

echo "== fuzzing, ${DIALER_FUZZ_SECONDS:-30} s a target =="
scripts/fuzz.sh "${DIALER_FUZZ_SECONDS:-30}"

ansible_lane

echo "== all tests passed =="
