#!/bin/bash

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Cross-build a minimal, release, shared Qt 6.4.2 (qtbase + qtserialport) for
# 64-bit Windows (x86_64-w64-mingw32) on Debian 12, and write a CMake
# toolchain file next to it.
#
#   usage: build-qt-windows.sh PREFIX          (as root on Debian 12)
#
# Sources, first match wins:
#   qtbase:       $QTBASE_TARBALL, else qt6-base_6.4.2+dfsg.orig.tar.xz or
#                 qtbase-everywhere-src-6.4.2.tar.xz in QT_SOURCES_DIR (default ../shared/windows),
#                 else `apt-get source` (deb-src is enabled if it is not).
#   qtserialport: $QTSERIALPORT_TARBALL, else qtserialport-6.4.2.tar.xz,
#                 qtserialport-everywhere-src-6.4.2.tar.xz or
#                 qt6-serialport_6.4.2.orig.tar.xz in QT_SOURCES_DIR (default ../shared/windows).
#                 (Debian's archive lacks qt6-serialport's orig tarball, so
#                 `apt-get source` cannot be the fallback here.)
# Other settings: WORK_DIR (sources and build trees; kept, so a rerun resumes
# where a failed run stopped), JOBS (ninja -j, default 2).
set -euo pipefail

readonly QT_VERSION=6.4.2
readonly TRIPLE=x86_64-w64-mingw32
# Debian's Linux Qt supplies moc/rcc/uic: a cross build cannot run the tools it
# builds, and Qt insists that the host Qt is the very same version.
readonly HOST_QT=/usr
readonly HOST_QT_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake

die() { echo "build-qt-windows: $*" >&2; exit 1; }
phase() { echo; echo "=== $(date -u +%H:%M:%S) [${SECONDS}s] $*"; }

[[ $# -eq 1 ]] || die "usage: $0 PREFIX"
[[ $(id -u) -eq 0 ]] || die "run as root (it installs packages with apt-get)"
mkdir -p "$1"
PREFIX=$(readlink -f "$1")
# Source tarballs are looked for in the project's shared folder beside the clone.
SCRIPT_DIR=${QT_SOURCES_DIR:-$(readlink -f "$(dirname "$0")/../../shared/windows")}
WORK_DIR=${WORK_DIR:-/var/tmp/qt6-mingw-build}
JOBS=${JOBS:-2}
mkdir -p "$WORK_DIR/src"

phase "installing the cross toolchain and the host Qt"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# The -posix compilers: Qt 6 needs std::thread/std::mutex, which mingw-w64's
# default win32 thread model does not provide. perl runs Qt 6.4's syncqt.pl.
apt-get install -y -qq --no-install-recommends \
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools \
    binutils-mingw-w64-x86-64 cmake ninja-build perl xz-utils \
    qt6-base-dev qt6-base-dev-tools >/dev/null

host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
host_version=${host_version#*:}
[[ ${host_version%%[+-]*} == "$QT_VERSION" ]] ||
    die "host Qt is $host_version; Qt requires the host Qt to be $QT_VERSION as well"
[[ -d $HOST_QT_CMAKE_DIR/Qt6CoreTools ]] || die "no $HOST_QT_CMAKE_DIR/Qt6CoreTools"

# first_file NAME...: print the first NAME that exists in QT_SOURCES_DIR (default ../shared/windows).
first_file() {
    local name
    for name in "$@"; do
        if [[ -f $SCRIPT_DIR/$name ]]; then echo "$SCRIPT_DIR/$name"; return; fi
    done
}

phase "getting the sources"
qtbase_tarball=${QTBASE_TARBALL:-$(first_file "qt6-base_${QT_VERSION}+dfsg.orig.tar.xz" \
    "qtbase-everywhere-src-${QT_VERSION}.tar.xz")}
if [[ -z $qtbase_tarball ]]; then
    # shellcheck disable=SC2016 # $(CREATED_BY) is apt's field name, not a shell expansion
    if ! apt-get indextargets --format '$(CREATED_BY)' | grep -qx Sources; then
        # Same mirrors as the binary packages, only the type changes.
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            >/etc/apt/sources.list.d/debian-src.sources
        apt-get update -qq
    fi
    mkdir -p "$WORK_DIR/apt-source"
    # The sandbox user _apt must be able to write the downloads.
    chown _apt "$WORK_DIR/apt-source" 2>/dev/null || true
    (cd "$WORK_DIR/apt-source" && apt-get source -qq --download-only "qt6-base=$host_version")
    qtbase_tarball=$(ls "$WORK_DIR"/apt-source/qt6-base_"$QT_VERSION"*.orig.tar.xz)
fi
qtserialport_tarball=${QTSERIALPORT_TARBALL:-$(first_file "qtserialport-${QT_VERSION}.tar.xz" \
    "qtserialport-everywhere-src-${QT_VERSION}.tar.xz" "qt6-serialport_${QT_VERSION}.orig.tar.xz")}
[[ -n $qtserialport_tarball ]] ||
    die "no qtserialport $QT_VERSION tarball: set QTSERIALPORT_TARBALL or put it in QT_SOURCES_DIR (default ../shared/windows)"
sha256sum "$qtbase_tarball" "$qtserialport_tarball"

# unpack TARBALL DIR: unpack once; a stamp makes reruns skip it.
unpack() {
    if [[ ! -f $2/.unpacked ]]; then
        rm -rf "$2" && mkdir -p "$2"
        tar -xf "$1" -C "$2" --strip-components=1
        touch "$2/.unpacked"
    fi
}
unpack "$qtbase_tarball" "$WORK_DIR/src/qtbase"
unpack "$qtserialport_tarball" "$WORK_DIR/src/qtserialport"

phase "writing $PREFIX/toolchain-mingw64.cmake"
# Written before qtbase is configured: Qt's own qt.toolchain.cmake records the
# toolchain file it was built with and chain-loads it, so it must stay valid.
cat >"$PREFIX/toolchain-mingw64.cmake" <<EOF
# CMake toolchain file: build for 64-bit Windows with Debian's mingw-w64 against
# the Qt $QT_VERSION that lies in this folder (written by build-qt-windows.sh).
#   cmake -G Ninja -S . -B build -DCMAKE_TOOLCHAIN_FILE=<this file>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The -posix variants: Qt 6 needs std::thread, which the win32 thread model lacks.
set(CMAKE_C_COMPILER   $TRIPLE-gcc-posix)
set(CMAKE_CXX_COMPILER $TRIPLE-g++-posix)
set(CMAKE_RC_COMPILER  $TRIPLE-windres)

# Found relative to this file, so the unpacked tree may be moved.
get_filename_component(QT_MINGW_PREFIX "\${CMAKE_CURRENT_LIST_DIR}" ABSOLUTE)

# Libraries, headers and CMake packages only from the Windows side, never from
# the Linux system; programs (the host tools) only from the Linux side.
set(CMAKE_FIND_ROOT_PATH /usr/$TRIPLE "\${QT_MINGW_PREFIX}")
list(APPEND CMAKE_PREFIX_PATH "\${QT_MINGW_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# moc, rcc and uic are Debian's Linux Qt $QT_VERSION (packages qt6-base-dev-tools,
# qt6-base-dev); Qt refuses a host Qt of another version.
set(QT_HOST_PATH $HOST_QT CACHE PATH "Host (Linux) Qt used for moc, rcc, uic")
set(QT_HOST_PATH_CMAKE_DIR $HOST_QT_CMAKE_DIR CACHE PATH "CMake packages of the host Qt")
EOF

qtbase_options=(
    -prefix "$PREFIX" -release -shared -xplatform win32-g++
    -qt-host-path "$HOST_QT"
    -nomake examples -nomake tests
    # What the team's tool does not use; each also saves build time.
    -no-opengl -no-icu -no-dbus -no-pkg-config
    -no-feature-sql -no-feature-network -no-feature-xml
    -no-feature-printsupport -no-feature-concurrent -no-feature-vulkan
    # Drops only the experimental qdirect2d platform plugin (59 more files);
    # QtGui keeps its Direct2D/DirectWrite font engine.
    -no-feature-direct2d1_1
)
# Debian's "+dfsg" tarball removes src/3rdparty/wintab (its licence forbids
# changes), and the windows plugin's tablet support needs wintab.h.
if [[ ! -f $WORK_DIR/src/qtbase/src/3rdparty/wintab/wintab.h ]]; then
    qtbase_options+=(-no-feature-tabletevent)
fi

phase "configuring qtbase"
mkdir -p "$WORK_DIR/build-qtbase"
cd "$WORK_DIR/build-qtbase"
nice -n 10 "$WORK_DIR/src/qtbase/configure" "${qtbase_options[@]}" -- -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PREFIX/toolchain-mingw64.cmake" \
    -DQT_HOST_PATH_CMAKE_DIR="$HOST_QT_CMAKE_DIR"

phase "building qtbase (ninja -j$JOBS, nice 10)"
nice -n 10 ninja -j "$JOBS"
phase "installing qtbase"
cmake --install . >/dev/null

phase "configuring qtserialport"
mkdir -p "$WORK_DIR/build-qtserialport"
cd "$WORK_DIR/build-qtserialport"
# Built with the same toolchain file a project will use, which also tests it.
nice -n 10 cmake -G Ninja -S "$WORK_DIR/src/qtserialport" \
    -DCMAKE_TOOLCHAIN_FILE="$PREFIX/toolchain-mingw64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_BUILD_TYPE=Release \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
phase "building qtserialport"
nice -n 10 ninja -j "$JOBS"
phase "installing qtserialport"
cmake --install . >/dev/null

phase "adding the mingw runtime DLLs and stripping"
# Every Qt DLL needs these three; with them in bin/ one WINEPATH entry (or one
# copy of bin/*.dll) is enough, as in Qt's own MinGW packages.
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    path=$("$TRIPLE-g++-posix" -print-file-name="$dll")
    [[ -f $path ]] || die "the mingw runtime lacks $dll"
    install -m 644 "$path" "$PREFIX/bin/$dll"
done
find "$PREFIX" -name '*.dll' -exec "$TRIPLE-strip" --strip-unneeded {} +

phase "done: Qt $QT_VERSION for $TRIPLE in $PREFIX"
du -sh "$PREFIX"
