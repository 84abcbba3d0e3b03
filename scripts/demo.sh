#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Tries dialer-config without a dialer: starts the simulator on a pseudo-terminal and the tool
# with a temporary port map whose COM1 is the simulator. Extra arguments go to dialer-sim, e.g.
#   scripts/demo.sh --delay 300 --split 4
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target dialer-config dialer-sim
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: set DISPLAY (or run from a desktop session) to see the window." >&2
    exit 1
fi

demo=$(mktemp -d)
sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null
    rm -rf "$demo"
}
trap cleanup EXIT INT TERM

build/tools/dialer-sim/dialer-sim --link "$demo/dialer" --verbose \
    --values "101,202,303,404,505,*7#" "$@" &
sim=$!
i=0
while [ ! -e "$demo/dialer" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done

mkdir -p "$demo/config/dialer-config"
printf '[ports]\nCOM1=%s\n' "$demo/dialer" >"$demo/config/dialer-config/ports.ini"
echo "Simulated dialer on $demo/dialer (COM1); its traffic is logged below."
cd "$demo"
XDG_CONFIG_HOME="$demo/config" "$top/build/src/app/dialer-config"
