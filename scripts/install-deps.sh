#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Installs, as root on Debian 12, what building and testing dialer-config needs and is missing.
# Quick when everything is already there.
#
#   scripts/install-deps.sh [--test] [--windows]
#
# Alone: what building and running the tool needs. --test: what scripts/test.sh needs besides.
# --windows: what the Windows lane (scripts/test-windows.sh) needs besides.
set -eu

# fonts-liberation2: Liberation Sans has Arial's metrics, which the window's layout was drawn for.
packages="build-essential cmake ninja-build pkg-config qt6-base-dev qt6-serialport-dev qt6-qpa-plugins
          libgl-dev fonts-liberation2"
test=false
windows=false
for option; do
    case "$option" in
    --test) test=true ;;
    --windows) windows=true ;;
    *)
        echo "usage: scripts/install-deps.sh [--test] [--windows]" >&2
        exit 2
        ;;
    esac
done
if $test; then
    # Sanitizer and fuzzer runtimes, the X server and input driver for the end-to-end run, and a
    # face wider than Arial for the test that the captions still fit without it.
    packages="$packages clang libclang-rt-14-dev xvfb xauth xdotool fonts-dejavu-core"
    # The package checks (lintian, AppStream, desktop entry, manual pages) and static analysis.
    packages="$packages dpkg-dev lintian appstream desktop-file-utils man-db reuse clazy clang-tidy
              shellcheck"
    # The installers' guide is rendered to HTML for the packages; packages are built twice and
    # compared (diffoscope says what differs), their tools seeing the source's time as the clock.
    packages="$packages pandoc diffoscope-minimal faketime"
    # Release signatures made with throwaway keys and verified (gpg, gpgv), and the signed apt
    # repository made from the package (apt-ftparchive).
    packages="$packages gnupg gpgv openssl apt-utils"
    # The Ansible collection: its build and playbook tests (one host over SSH), the checks that
    # stand in for ansible-test sanity, which needs the network, and ansible-lint, whose
    # production profile Galaxy's importer applies.
    packages="$packages ansible-core openssh-server openssh-client yamllint pylint pycodestyle
              ansible-lint"
    # The hardware lane: Debian's kernel under qemu, an initramfs from busybox, udev in the guest,
    # and libfuse for a character device whose opening the kernel holds (CUSE).
    packages="$packages qemu-system-x86 linux-image-amd64 busybox-static cpio kmod udev libfuse3-dev"
    # The window pinged as a desktop pings it (xcb), beside a port on a FUSE file system.
    packages="$packages libxcb1-dev fuse3"
fi
if $windows; then
    # The cross-build (Debian's Qt gives moc, rcc and uic), wine to run it, the packages' tools
    # (wixl and msitools for the .msi, icoutils for the icon, man and pandoc for the texts), the
    # signatures (osslsigncode, gpg), the X server of the window's story, the double build's tools.
    packages="$packages g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
              binutils-mingw-w64-x86-64 mingw-w64-tools qt6-base-dev-tools wine wine64 icoutils
              fonts-dejavu-core xz-utils wixl msitools zip python3 xvfb xauth man-db
              bsdextrautils pandoc faketime diffoscope-minimal osslsigncode gnupg gpgv openssl"
fi

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages:$missing" >&2
    echo "Run this script as root (or install them with apt-get) and try again." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing
