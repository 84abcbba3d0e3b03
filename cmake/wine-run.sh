#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Runs a cross-built Windows program under wine: CTest's emulator for the `windows` preset, and how
# the Windows lane's own checks start dialerctl.exe.
#
#   wine-run.sh QT_DIR PROGRAM [ARGUMENT...]
#
# The prefix is $WINEPREFIX, or else one of this user's own in ~/.cache/dialer-config/wine, made
# on first use (once, whatever number of tests start at the same time). The programs find Qt's
# DLLs in QT_DIR/bin. Wine hands a program no QT_ variable of Linux's own, so each QT_ and QTEST_
# variable goes as WINEQT_ or WINEQTEST_, which wine passes on without the prefix; the platform is
# offscreen unless one is chosen, and Qt's messages go to standard error, not to the debugger.
set -eu
qt=$1
shift
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/dialer-config/wine}"
export WINEPREFIX
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES-mscoree,mshtml=}" WINEDEBUG="${WINEDEBUG--all}"
export WINEPATH="Z:$qt/bin"
for name in $(env | sed -n 's/^\(QT\(EST\)\{0,1\}_[A-Za-z0-9_]*\)=.*/\1/p'); do
    export "WINE$name=$(printenv "$name")"
done
export WINEQT_QPA_PLATFORM="${WINEQT_QPA_PLATFORM:-offscreen}" WINEQT_FORCE_STDERR_LOGGING=1
# The offscreen platform reads fonts from one folder: Liberation Sans in Arial's place, and
# DejaVu Sans for the test of a wider face.
fonts="$WINEPREFIX/qt-fonts"
export WINEQT_QPA_FONTDIR="Z:$fonts"
if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d "$fonts" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
        if [ ! -d "$fonts" ]; then
            mkdir -p "$fonts.new"
            ln -sf /usr/share/fonts/truetype/liberation2/*.ttf \
                /usr/share/fonts/truetype/dejavu/DejaVuSans*.ttf "$fonts.new/"
            mv "$fonts.new" "$fonts"
        fi
    ) 9>"$WINEPREFIX.lock"
fi
# Wine starts its services with the first program of a session, and they keep that program's
# output open as long as they run: a caller reading it to its end (CTest) would wait for them.
# Started here apart, they hold nothing; the session ends ten seconds after its last program.
if wineserver -p10 </dev/null >/dev/null 2>&1; then
    wine wineboot </dev/null >/dev/null 2>&1 || true
fi
exec wine "$@"
