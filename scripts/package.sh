#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Builds the Debian package from the release preset and checks it the way Debian would: lintian
# (no error, no warning), appstreamcli on the AppStream metadata, desktop-file-validate on the
# desktop entry, and both manual pages through man without a warning. Beside the .deb go the
# Ansible collection's tarball, dialerconfig-dialer-<version>.tar.gz, and SHA256SUMS, with
# SHA256SUMS.asc when a GnuPG key is given (DIALER_GPG_KEY, see scripts/signing.sh).
#
# The same source gives the same .deb in any folder: file times are the last commit's
# (SOURCE_DATE_EPOCH, which CPack and the compiler honour) and no build folder is named inside the
# programs. The package is built a second time from a copy of the sources elsewhere, and compared.
#
#   scripts/package.sh [--first | --again]   both by default; --first builds and checks, --again
#                                            builds the second time and compares (the test lane
#                                            runs it once the soak, which the load would disturb,
#                                            is over)
set -eu
cd "$(dirname "$0")/.."
. scripts/reproducible.sh
. scripts/signing.sh
step=${1:-both}
case "$step" in
--first | --again | both) ;;
*)
    echo "usage: scripts/package.sh [--first | --again]" >&2
    exit 2
    ;;
esac

contents=$(mktemp -d)
elsewhere=$(mktemp -d)
trap 'rm -rf "$contents" "$elsewhere"' EXIT

# The collection from a copy whose files take the source's time, built at that time (the tarball
# holds the clock's time and the files' own), with the project's licence text beside galaxy.yml.
build_collection() {
    mkdir -p "$contents/collection"
    cp -r "$1/ansible/ansible_collections/dialerconfig/dialer" "$contents/collection/"
    cp "$1/LICENSE" "$contents/collection/dialer/LICENSE"
    touch_to_source_date "$contents/collection"
    rm -f "$1"/build-release/dialerconfig-dialer-*.tar.gz
    at_source_date ansible-galaxy collection build --force --output-path "$1/build-release" \
        "$contents/collection/dialer" >/dev/null
    rm -rf "$contents/collection"
}

# The package, built and checked as Debian would check it, with the collection and SHA256SUMS.
first() {
    cmake --preset release >/dev/null
    cmake --build --preset release -j "$(nproc)"
    rm -f build-release/*.deb
    (cd build-release && cpack >/dev/null)
    deb=$(ls build-release/*.deb)
    echo "== $deb =="

    dpkg-deb -x "$deb" "$contents"

    # Informational tags are reported, not failed on.
    lintian --fail-on error,warning --display-info "$deb"
    appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml
    desktop-file-validate "$contents"/usr/share/applications/dialer-config.desktop
    for page in "$contents"/usr/share/man/man1/*.1.gz; do
        warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
        if [ -n "$warnings" ]; then
            echo "$page: $warnings" >&2
            exit 1
        fi
    done
    # The installers' guide, with its pictures inside.
    guide="$contents/usr/share/doc/dialer-config/guide.ru.html"
    if ! grep -q 'src="data:image/png' "$guide" 2>/dev/null; then
        echo "$guide: missing, or without its pictures" >&2
        exit 1
    fi

    build_collection .
    collection=$(ls build-release/dialerconfig-dialer-*.tar.gz)
    for member in MANIFEST.json LICENSE changelogs/changelog.yaml plugins/modules/dialer_settings.py \
        plugins/modules/dialer_info.py plugins/module_utils/dialerctl.py meta/runtime.yml; do
        if ! tar -tzf "$collection" | grep -qx "$member"; then
            echo "$collection: $member missing" >&2
            exit 1
        fi
    done
    echo "== $collection =="
    rm -f build-release/SHA256SUMS.asc
    (cd build-release && sha256sum "$(basename "$deb")" "$(basename "$collection")" >SHA256SUMS)
    sign_sums build-release
}

# The same package and collection from a copy of the sources in another folder: the same bytes.
again() {
    echo "== the same package from another folder =="
    deb=$(ls build-release/*.deb)
    collection=$(ls build-release/dialerconfig-dialer-*.tar.gz)
    copy="$elsewhere/dialer-config"
    copy_sources "$copy"
    (cd "$copy" && cmake --preset release >/dev/null && cmake --build --preset release -j "$(nproc)" \
        >/dev/null && cd build-release && cpack >/dev/null)
    build_collection "$copy"
    scripts/compare-builds.sh "$deb" "$copy/$deb" "$collection" "$copy/$collection"
}

# (Called as commands of their own, not in a || list, where set -e would not stop them.)
if [ "$step" != --again ]; then
    first
fi
if [ "$step" != --first ]; then
    again
fi
echo "== package checks passed =="
