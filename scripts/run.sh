#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Installs what is missing, builds dialer-config and starts it.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target dialer-config
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: set DISPLAY (or run from a desktop session) to see the window." >&2
    exit 1
fi
exec build/src/app/dialer-config
