#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Retakes docs/screenshot.png: the window as a fresh start shows it (default values, a simulated
# dialer as COM1), under Xvfb with the fonts the install script provides.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
scripts/install-deps.sh --test
if ! [ -x /usr/bin/import ]; then
    apt-get install -y -qq --no-install-recommends imagemagick >/dev/null
fi
cmake --preset default >/dev/null
cmake --build --preset default --target dialer-config dialer-sim

work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null; rm -rf "$work"' EXIT INT TERM
build/tools/dialer-sim/dialer-sim --link "$work/dialer" >/dev/null &
sim=$!
mkdir -p "$work/config/dialer-config"
i=0
while [ ! -e "$work/dialer" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
printf '[ports]\nCOM1=%s\n' "$work/dialer" >"$work/config/dialer-config/ports.ini"

cat >"$work/shoot.sh" <<SHOOT
#!/bin/sh
cd "$work" && XDG_CONFIG_HOME="$work/config" "$top/build/src/app/dialer-config" &
app=\$!
window=\$(xdotool search --sync --onlyvisible --name "^Настройки GSM\$" | head -1)
sleep 1
/usr/bin/import -window "\$window" "$top/docs/screenshot.png"
kill \$app
SHOOT
chmod +x "$work/shoot.sh"
scripts/with-xvfb.sh "$work/shoot.sh"
echo "docs/screenshot.png retaken"
