#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# The Windows lane, as root on Debian 12: cross-builds the Windows programs and tests with
# mingw-w64 (the `windows` preset), runs every test under wine with a throwaway prefix, and runs
# dialerctl.exe through wine's COM1 to COM3 against simulated dialers on Linux pseudo-terminals,
# checking the bytes each dialer received. Qt for Windows is unpacked from ../shared/windows or,
# where no prebuilt tarball is, built once by scripts/build-qt-windows.sh into the cache.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
qt=${DIALER_QT_WINDOWS:-/var/cache/dialer-config/qt6-mingw-6.4.2}
export DIALER_QT_WINDOWS="$qt"

packages="g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          mingw-w64-tools qt6-base-dev qt6-base-dev-tools qt6-serialport-dev cmake ninja-build wine
          wine64 icoutils fonts-liberation2 fonts-dejavu-core xz-utils wixl msitools zip python3 xvfb
          xauth man-db bsdextrautils pandoc faketime diffoscope-minimal"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $p"
done
if [ -n "$missing" ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

if [ ! -f "$qt/toolchain-mingw64.cmake" ]; then
    prebuilt="$top/../shared/windows/qt6-mingw-6.4.2.tar.xz"
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

# Tests and programs (scripts/test.sh builds the Linux side, whose simulator answers here and
# whose end-to-end test drives the Windows window).
if [ ! -x build/tools/dialer-sim/dialer-sim ] || [ ! -x build/tests/e2e/tst_e2e ]; then
    cmake --preset default >/dev/null
    cmake --build --preset default --target dialer-sim tst_e2e
fi
echo "== Windows build =="
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"

work=$(mktemp -d)
sims=""
cleanup() {
    # shellcheck disable=SC2086
    [ -z "$sims" ] || kill $sims 2>/dev/null || true
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    [ ! -d "$work/user/prefix" ] || setpriv --reuid=nobody --regid=nogroup --clear-groups         env HOME="$work/user" WINEPREFIX="$work/user/prefix" wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

export WINEPREFIX="$work/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
export WINEPATH="Z:$qt/bin"
export WINEQT_QPA_PLATFORM=offscreen WINEQT_FORCE_STDERR_LOGGING=1
# The offscreen platform reads fonts from one folder: Liberation Sans in Arial's place, and
# DejaVu Sans for the test of a wider face.
mkdir -p "$work/fonts"
ln -s /usr/share/fonts/truetype/liberation2/*.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans*.ttf \
    "$work/fonts/"
export WINEQT_QPA_FONTDIR="Z:$work/fonts"
wineboot -i >"$work/wineboot.log" 2>&1

passed=0
failed=0
pass() {
    passed=$((passed + 1))
    echo "PASS  $1"
}
fail() {
    failed=$((failed + 1))
    echo "FAIL  $1"
}

echo "== tests under wine =="
for t in build-windows/tst_*.exe; do
    name=$(basename "$t" .exe)
    if timeout 300 wine "$t" >"$work/$name.log" 2>&1; then
        pass "$name ($(grep '^Totals' "$work/$name.log"))"
    else
        cat "$work/$name.log"
        fail "$name"
    fi
done

echo "== exchanges through wine's COM ports =="
# Each simulator makes its link once its pseudo-terminal is open: up to 2 s for COM1 to COM3.
wait_for_dialers() {
    for n in 1 2 3; do
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            if [ -e "$work/com$n" ]; then break; fi
            sleep 0.2
        done
    done
}
sim=build/tools/dialer-sim/dialer-sim
"$sim" --link "$work/com1" --verbose --values '111,222,333,444,555,*100#' >"$work/sim1.log" 2>&1 &
sims="$sims $!"
"$sim" --link "$work/com2" --silent --verbose >"$work/sim2.log" 2>&1 &
sims="$sims $!"
"$sim" --link "$work/com3" --garbage --verbose >"$work/sim3.log" 2>&1 &
sims="$sims $!"
wait_for_dialers
# COM1 to COM3 are the simulators; the rest name nothing, so that a machine's own serial ports
# (which wine would otherwise number) stay out of the run.
for n in 1 2 3 4 5 6 7 8 9; do
    target="$work/com$n"
    [ "$n" -le 3 ] || target="$work/absent$n"
    wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "$target" /f >/dev/null 2>&1
done
wineserver -k 2>/dev/null || true
sleep 1

ctl=build-windows/dialerctl.exe
wine "$ctl" ports >"$work/ports.txt" 2>"$work/ports.err" || true
if grep -q '^COM1 .* free' "$work/ports.txt" && grep -q '^COM3 .* free' "$work/ports.txt" &&
    ! grep -q '^COM4 .* free' "$work/ports.txt"; then
    # Wine answers a COM port whose link leads nowhere with an error of its own, not "missing".
    pass "dialerctl.exe ports: COM1 to COM3 free, COM4 not"
else
    cat "$work/ports.txt" "$work/ports.err"
    fail "dialerctl.exe ports"
fi

# In a console (wine makes one on a terminal) the Russian message arrives as characters, not as
# UTF-8 bytes read in the console's code page, and the Windows device path keeps its backslashes.
LANG=C.UTF-8 script -qc "wine $ctl read --port COM9" /dev/null >"$work/console.txt" 2>&1 </dev/null || true
if tr -d '\r\n' <"$work/console.txt" | grep -q 'Не удалось открыть порт COM9 (\\\\\.\\COM9)'; then
    pass "dialerctl.exe in a console: Russian text and the device path shown as they are"
else
    cat "$work/console.txt"
    fail "dialerctl.exe in a console"
fi

wine "$ctl" read --port COM1 --port COM2 --port COM3 >"$work/read.txt" 2>"$work/read.err" || true
if grep -q '^COM1 .* read  *111,222,333,444,555,\*100#' "$work/read.txt" &&
    grep -q '^COM2 .* no-answer' "$work/read.txt" && grep -q '^COM3 .* check-fields' "$work/read.txt"; then
    pass "dialerctl.exe read: read, no-answer and check-fields"
else
    cat "$work/read.txt" "$work/read.err"
    fail "dialerctl.exe read"
fi

start=$(date +%s%N)
if wine "$ctl" write --port COM1 --values 'Ив,2,3,4,5,*1#' --verify >"$work/write.txt" 2>&1 &&
    grep -q 'verified' "$work/write.txt"; then
    pass "dialerctl.exe write --verify: verified"
else
    cat "$work/write.txt"
    fail "dialerctl.exe write --verify"
fi
elapsed=$((($(date +%s%N) - start) / 1000000))
# The save in windows-1251, CR LF, exactly as it went out; a verify holds two 500 ms windows.
if grep -q -- '<- .*c8 e2' "$work/sim1.log"; then
    pass "the save reached the dialer in windows-1251"
else
    cat "$work/sim1.log"
    fail "the save's bytes"
fi
if [ "$elapsed" -ge 1000 ]; then
    pass "write --verify held two 500 ms windows (${elapsed} ms with wine's start)"
else
    fail "write --verify took only ${elapsed} ms"
fi

# dialerctl.exe saves to three ports at once in about the time of one: each port's exchange
# waits on its own dialer. Three answering dialers in COM1 to COM3, alternated with one.
# shellcheck disable=SC2086
kill $sims 2>/dev/null || true
sims=""
for n in 1 2 3; do
    rm -f "$work/com$n"
    "$sim" --link "$work/com$n" >/dev/null 2>&1 &
    sims="$sims $!"
done
wait_for_dialers
wineserver -k 2>/dev/null || true
timed() {
    t0=$(date +%s%N)
    # shellcheck disable=SC2068
    wine "$ctl" write $@ --values '1,2,3,4,5,*1#' --verify >"$work/bench.txt" 2>&1 || return 1
    echo $((($(date +%s%N) - t0) / 1000000))
}
one="" three=""
for _ in 1 2 3 4 5; do
    one="$one $(timed --port COM1 || echo fail)"
    three="$three $(timed --port COM1 --port COM2 --port COM3 || echo fail)"
done
median() { printf '%s\n' "$@" | sort -n | sed -n 3p; }
# shellcheck disable=SC2086
m1=$(median $one)
# shellcheck disable=SC2086
m3=$(median $three)
case "$one $three" in
*fail*) fail "bench: dialerctl.exe write --verify failed (one:$one; three:$three)" ;;
*)
    echo "bench: dialerctl.exe write --verify, median of 5 under wine: one port $m1 ms," \
        "three ports $m3 ms, ratio $(awk "BEGIN { printf \"%.2f\", $m3 / $m1 }")" ;;
esac

echo "== installer and portable folder, each built twice =="
# Every file in the packages takes the time of the last commit.
. scripts/reproducible.sh
version="" display_version=""
# shellcheck source=/dev/null
. build-windows/windows/package.env
display=$display_version
msi_name="dialer-config-$display.msi"
zip_name="dialer-config-$display-windows.zip"
if scripts/package-windows.sh build-windows >"$work/package.log" 2>&1; then
    pass "$msi_name and the portable $zip_name built"
else
    cat "$work/package.log"
    fail "the installer"
fi
# The same sources in another folder, as another clone would be, with times of their own: the same
# bytes. Then that folder at the next patch version, for the update below.
elsewhere="$work/elsewhere/dialer-config"
copy_sources "$elsewhere"
package_elsewhere() {
    (cd "$elsewhere" && cmake --preset windows "$@" >/dev/null &&
        cmake --build --preset windows --target dialer-config dialerctl >/dev/null &&
        scripts/package-windows.sh build-windows) >>"$work/elsewhere.log" 2>&1
}
if package_elsewhere && scripts/compare-builds.sh build-windows/"$msi_name" \
    "$elsewhere/build-windows/$msi_name" build-windows/"$zip_name" \
    "$elsewhere/build-windows/$zip_name"; then
    pass "the .msi and the .zip built twice, in two folders: the same bytes"
else
    cat "$work/elsewhere.log"
    fail "the .msi and the .zip built twice differ"
fi
next=$(echo "$version" | awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }')
if package_elsewhere -DDIALER_VERSION="$next"; then
    # shellcheck source=/dev/null
    next_display=$(. "$elsewhere/build-windows/windows/package.env" && echo "$display_version")
    cp "$elsewhere/build-windows/dialer-config-$next_display.msi" build-windows/
    pass "dialer-config-$next_display.msi built, the update to test"
else
    cat "$work/elsewhere.log"
    fail "the update's installer"
    next_display=none
fi
next_msi_name="dialer-config-$next_display.msi"

wineserver -k 2>/dev/null || true
# The installed programs as a standard user meets them: a user without root's powers (wine run as
# root writes everywhere), a prefix of that user's own, and the program's folder read-only, as
# Program Files is to a standard Windows user.
user=nobody
home="$work/user"
chmod 755 "$work"
mkdir -p "$home" "$work/bin"
chown "$user" "$home"
# What that user runs, where that user can reach it whatever folder the clone is in.
cp build-windows/"$msi_name" build-windows/"$next_msi_name" build/tests/e2e/tst_e2e build/tools/dialer-sim/dialer-sim \
    scripts/with-xvfb.sh "$work/bin/"
chmod -R a+rX "$work/bin"
# From here on the lane works in a folder that user may enter.
cd "$work"
as_user() {
    setpriv --reuid="$user" --regid=nogroup --clear-groups \
        env -u WINEPATH HOME="$home" USER="$user" WINEPREFIX="$home/prefix" "$@"
}
export WINEPREFIX="$home/prefix"
as_user wineboot -i >"$work/wineboot2.log" 2>&1
installed="$WINEPREFIX/drive_c/Program Files/dialer-config"
# The uninstall entries that name the tool, and the version the installed dialerctl.exe reports.
entries() {
    as_user wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s \
        2>/dev/null | grep -c 'DisplayName.*dialer-config' || true
}
reported() {
    (cd "$installed" 2>/dev/null && as_user wine ./dialerctl.exe --version 2>/dev/null | tr -d '\r') ||
        true
}
windows_path() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }
msi=$(windows_path "$work/bin/$msi_name")
next_msi=$(windows_path "$work/bin/$next_msi_name")
as_user wine msiexec /i "$msi" /qn >"$work/msiexec.log" 2>&1 || true
# The Start menu of all users, or (as wine takes it) of the installing user.
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/dialer-config.lnk' | head -n 1)
shown=$(reported)
entry=$(entries)
guide=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Руководство.lnk' | head -n 1)
if [ "$shown" = "dialerctl $display" ] && [ "$entry" -eq 1 ] &&
    [ -f "$installed/platforms/qwindows.dll" ] && [ -n "$shortcut" ] && [ -n "$guide" ]; then
    pass "the .msi installs: $shown, an uninstall entry, Start-menu entries for the tool and its guide"
else
    cat "$work/msiexec.log"
    fail "the .msi install (version '$shown', uninstall entries $entry)"
fi
# What the package carries: the licences and the README, no demo program.
missing_files=""
for f in README.txt NOTICE.txt dialerctl.txt guide.ru.html licenses/MIT.txt licenses/LGPL-3.0-only.txt \
    licenses/GPL-3.0-or-later.txt licenses/GCC-exception-3.1.txt licenses/mingw-w64-runtime.txt; do
    [ -s "$installed/$f" ] || missing_files="$missing_files $f"
done
if [ -z "$missing_files" ] && [ -z "$(find "$installed" -iname '*demo*')" ] &&
    grep -q 'GCC RUNTIME LIBRARY EXCEPTION' "$installed/licenses/GCC-exception-3.1.txt"; then
    pass "the .msi carries the licence texts, the README, dialerctl's manual and the guide, and no demo"
else
    ls -R "$installed"
    fail "the .msi's files (missing:$missing_files)"
fi
# A new command prompt finds dialerctl.exe without a path.
onpath=$(cd "$work" && as_user wine cmd /c 'dialerctl --version' 2>/dev/null | tr -d '\r') || true
if [ "$onpath" = "dialerctl $display" ]; then
    pass "dialerctl.exe runs from a new command prompt without a path"
else
    fail "dialerctl.exe is not on the PATH ('$onpath')"
fi
chmod -R a-w "$installed"
# The window's start-up from the installed folder, on the windows platform under an X server:
# still running after three seconds. Ending the program ends its X server.
(cd "$installed" 2>/dev/null &&
    exec setpriv --reuid="$user" --regid=nogroup --clear-groups env -u WINEPATH \
        -u WINEQT_QPA_PLATFORM HOME="$home" USER="$user" "$work/bin/with-xvfb.sh" \
        wine ./dialer-config.exe) >"$work/window.log" 2>&1 &
window=$!
sleep 3
if kill -0 "$window" 2>/dev/null; then
    pass "the installed window starts"
else
    cat "$work/window.log"
    fail "the installed window did not stay up"
fi
as_user wineserver -k 2>/dev/null || true
wait "$window" 2>/dev/null || true
# The whole story through the installed window under wine, driven with real X input; the test
# starts its own dialers and links them to wine's ports. Then the Start-menu start keeping its
# values in the user's folder, the adapters numbered above 9, and the text drawn at 100 % and
# 150 %.
# Wine's first start of a window on a fresh server is slow and, once in a while, never maps it:
# one more try before the story counts as failed, and the first try's log is kept.
e2e() {
    as_user E2E_WINDOWS_PROGRAM="$installed/dialer-config.exe" E2E_WINDOWS_SHORTCUT="$shortcut" \
        E2E_DIALER_SIM="$work/bin/dialer-sim" E2E_ARTEFACTS_DIR="$home/artefacts" \
        timeout 600 "$work/bin/with-xvfb.sh" env QT_QPA_PLATFORM=xcb "$work/bin/tst_e2e" \
        >"$1" 2>&1
}
if e2e "$work/e2e.log" || { cat "$work/e2e.log" && as_user wineserver -k 2>/dev/null; e2e "$work/e2e.log"; }; then
    pass "the installed window under wine, as a user who may not write into it:
      $(grep '^Totals' "$work/e2e.log")"
else
    cat "$work/e2e.log"
    fail "the installed window under wine"
fi
as_user wineserver -k 2>/dev/null || true
# Its screenshots, for a look after the run.
rm -rf "$top/build/e2e-artefacts-windows"
cp -r "$home/artefacts" "$top/build/e2e-artefacts-windows" 2>/dev/null || true
chmod -R u+w "$installed"

# Updates, as an administrator installs them: the next version over this one replaces it, the
# same version again repairs it, an older one over it is refused. None of them, nor the removal,
# touches the user's own files: the values kept by Exit and the port map.
appdata="$WINEPREFIX/drive_c/users/$user/AppData/Local/dialer-config"
mkdir -p "$appdata"
[ -f "$appdata/Velkor.ini" ] || printf '111\r\n222\r\n333\r\n444\r\n555\r\n*100#\r\n' >"$appdata/Velkor.ini"
printf '[ports]\r\nCOM5=COM12\r\n' >"$appdata/ports.ini"
chown -R "$user" "$appdata"
user_files() { (cd "$appdata" && sha256sum Velkor.ini ports.ini) 2>&1; }
users_own=$(user_files)
# What the next version's package holds, file for file, to compare the installed folder with.
python3 -m zipfile -e "$elsewhere/build-windows/dialer-config-$next_display-windows.zip" \
    "$work/next" 2>/dev/null || true
only_next() { diff -r "$work/next/dialer-config" "$installed" >"$work/update.diff" 2>&1; }
as_user wine msiexec /i "$next_msi" /qn >>"$work/msiexec.log" 2>&1 || true
if [ "$(entries)" -eq 1 ] && [ "$(reported)" = "dialerctl $next_display" ] && only_next &&
    [ "$(user_files)" = "$users_own" ]; then
    pass "$next_msi_name over $msi_name: one entry, only the new files, the user's files untouched"
else
    cat "$work/msiexec.log" "$work/update.diff"
    fail "the update (entries $(entries), version '$(reported)')"
fi
rm -f "$installed/dialerctl.txt" "$installed/dialer-config.exe"
as_user wine msiexec /i "$next_msi" /qn >>"$work/msiexec.log" 2>&1 || true
if [ "$(entries)" -eq 1 ] && only_next && [ "$(user_files)" = "$users_own" ]; then
    pass "$next_msi_name again repairs it in place: the removed files back, one entry"
else
    cat "$work/update.diff"
    fail "the same version again (entries $(entries))"
fi
if as_user wine msiexec /i "$msi" /qn >>"$work/msiexec.log" 2>&1; then
    refused=no
else
    refused=yes
fi
# Wine refuses without a word; Windows says why, in the package's own words.
msiinfo export "$work/bin/$msi_name" LaunchCondition |
    grep -q 'Уже установлена более новая версия dialer-config' || refused="$refused, without its message"
if [ "$refused" = yes ] && [ "$(entries)" -eq 1 ] && [ "$(reported)" = "dialerctl $next_display" ] &&
    only_next && [ "$(user_files)" = "$users_own" ]; then
    pass "$msi_name over $next_msi_name is refused, and the newer stays as it was"
else
    cat "$work/update.diff"
    fail "the older version over the newer (refused: $refused, entries $(entries), version '$(reported)')"
fi

as_user wine msiexec /x "$next_msi" /qn >>"$work/msiexec.log" 2>&1 || true
left=$(entries)
pathleft=$(as_user wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
    /v PATH 2>/dev/null | grep -c 'dialer-config') || true
if [ ! -e "$installed" ] && [ "$left" -eq 0 ] && [ "$pathleft" -eq 0 ] &&
    [ "$(user_files)" = "$users_own" ]; then
    pass "the .msi uninstalls, leaving nothing behind but the user's own files"
else
    find "$installed" | head
    fail "the uninstall left files or its entry"
fi
as_user wineserver -k 2>/dev/null || true

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
