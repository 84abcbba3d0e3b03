#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Runs a command on an X display of its own, an Xvfb that ends with the command and is waited for:
# xvfb-run leaves its server to die after it has gone itself, and one whose script is killed leaves
# the server running.
#
#     with-xvfb.sh [-s "SERVER OPTIONS"] COMMAND [ARGUMENT...]
set -eu
options="-screen 0 800x600x24"
if [ "${1:-}" = "-s" ]; then
    options=$2
    shift 2
fi
dir=$(mktemp -d)
# shellcheck disable=SC2086
Xvfb -displayfd 3 -nolisten tcp $options 3>"$dir/display" 2>"$dir/server.log" &
server=$!
child=""
# shellcheck disable=SC2317 # run by the trap
finish() {
    [ -z "$child" ] || kill "$child" 2>/dev/null || true
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    rm -rf "$dir"
}
trap finish EXIT
i=0
while [ ! -s "$dir/display" ] && [ $i -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
done
if [ ! -s "$dir/display" ]; then
    cat "$dir/server.log" >&2
    exit 1
fi
DISPLAY=:$(cat "$dir/display") "$@" &
child=$!
# A signal ends the command, and the server with it.
trap 'kill "$child" 2>/dev/null || true' TERM INT HUP
status=0
wait "$child" || status=$?
while kill -0 "$child" 2>/dev/null; do
    status=0
    wait "$child" || status=$?
done
child=""
exit "$status"
