#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# The .msi's whole life under wine, as root on Debian 12, as a standard user meets it: a user
# without root's powers (wine run as root writes everywhere), a prefix of that user's own, the
# program's folder read-only as Program Files is. Refused on Windows 7; on Windows 10 installed
# (files, Start menu, PATH), updated to the next version, the older refused; repaired and removed
# even on Windows 7; between them the window started and the whole story told through it; the
# user's own files untouched throughout. msiexec runs as the README tells deployment tools to run it, with a log.
#
#   scripts/test-msi.sh MSI NEXT_MSI NEXT_ZIP
#
# NEXT_MSI is the same sources at the next version, NEXT_ZIP its portable folder (the files the
# update must leave). Needs the `default` build's tst_e2e and dialer-sim. Prints each check and
# 'msi: N passed, N failed'; the last exchange's screenshots go to build/e2e-artefacts-windows.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
msi_name=$(basename "$1")
next_msi_name=$(basename "$2")
display=${msi_name#dialer-config-}
display=${display%.msi}
next_display=${next_msi_name#dialer-config-}
next_display=${next_display%.msi}

work=$(mktemp -d)
user=nobody
home="$work/user"
as_user() {
    setpriv --reuid="$user" --regid=nogroup --clear-groups \
        env -u WINEPATH HOME="$home" USER="$user" WINEPREFIX="$home/prefix" "$@"
}
cleanup() {
    [ ! -d "$home/prefix" ] || as_user wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
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

export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
export WINEQT_QPA_PLATFORM=offscreen WINEQT_FORCE_STDERR_LOGGING=1
mkdir -p "$work/fonts"
ln -s /usr/share/fonts/truetype/liberation2/*.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans*.ttf \
    "$work/fonts/"
export WINEQT_QPA_FONTDIR="Z:$work/fonts"

chmod 755 "$work"
mkdir -p "$home" "$work/bin" "$work/logs"
chown "$user" "$home" "$work/logs"
# What that user runs, where that user can reach it whatever folder the clone is in.
cp "$1" "$2" build/tests/e2e/tst_e2e build/tools/dialer-sim/dialer-sim scripts/with-xvfb.sh \
    "$work/bin/"
chmod -R a+rX "$work/bin"
python3 -m zipfile -e "$3" "$work/next"
cd "$work"
export WINEPREFIX="$home/prefix"
as_user wineboot -i >"$work/wineboot.log" 2>&1
installed="$WINEPREFIX/drive_c/Program Files/dialer-config"
windows_path() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }
msi=$(windows_path "$work/bin/$msi_name")
next_msi=$(windows_path "$work/bin/$next_msi_name")
# As the README documents it for deployment tools: silent, with a verbose log.
msiexec_logged() {
    as_user wine msiexec "$1" "$2" /qn /l*v "$(windows_path "$work/logs/$3.log")" \
        >>"$work/msiexec.log" 2>&1
}
# The Windows version wine reports, set as winecfg sets it; on an X server, as a user's desktop
# has one, and the session ended afterwards.
windows() {
    as_user "$work/bin/with-xvfb.sh" wine winecfg /v "$1" >/dev/null 2>&1
    as_user wineserver -k 2>/dev/null || true
}
show_log() { iconv -f UTF-16 -t UTF-8 "$work/logs/$1.log" 2>/dev/null || cat "$work/logs/$1.log"; }
# The uninstall entries that name the tool, and the version the installed dialerctl.exe reports.
entries() {
    as_user wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s \
        2>/dev/null | grep -c 'DisplayName.*dialer-config' || true
}
reported() {
    (cd "$installed" 2>/dev/null && as_user wine ./dialerctl.exe --version 2>/dev/null | tr -d '\r') ||
        true
}

# Below Windows 10 the package refuses, with a message that names the minimum; wine refuses
# without a word, so the message is read from the package.
windows win7
if msiexec_logged /i "$msi" win7-install; then refused=no; else refused=yes; fi
msiinfo export "$work/bin/$msi_name" LaunchCondition |
    grep -q 'нужна Windows 10 или новее' || refused="$refused, without its message"
if [ "$refused" = yes ] && [ ! -e "$installed" ] && [ "$(entries)" -eq 0 ]; then
    pass "$msi_name on Windows 7 is refused: no files, no uninstall entry"
else
    show_log win7-install
    fail "$msi_name on Windows 7 (refused: $refused, entries $(entries))"
fi

windows win10
msiexec_logged /i "$msi" install || true
# The Start menu of all users, or (as wine takes it) of the installing user.
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/dialer-config.lnk' | head -n 1)
guide=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Руководство.lnk' | head -n 1)
shown=$(reported)
entry=$(entries)
if [ "$shown" = "dialerctl $display" ] && [ "$entry" -eq 1 ] &&
    [ -f "$installed/platforms/qwindows.dll" ] && [ -n "$shortcut" ] && [ -n "$guide" ]; then
    pass "the .msi installs on Windows 10: $shown, an uninstall entry, Start-menu entries for the tool and its guide"
else
    show_log install
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
# A new command prompt finds dialerctl.exe without a path (in a wine session of its own, as a
# new logon would have it).
as_user wineserver -k 2>/dev/null || true
onpath=$(as_user wine cmd /c 'dialerctl --version' 2>/dev/null | tr -d '\r') || true
if [ "$onpath" = "dialerctl $display" ]; then
    pass "dialerctl.exe runs from a new command prompt without a path"
else
    fail "dialerctl.exe is not on the PATH ('$onpath')"
fi
chmod -R a-w "$installed"
# The window and its story run in wine's own default, Windows 7, as they always have: with wine
# set to Windows 10, the story's reading of the fields through the clipboard fails now and then.
windows win7
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

# Updates, as an administrator installs them: the next version over this one replaces it, an
# older one over it is refused, the same version again repairs it. None of them, nor the removal,
# touches the user's own files: the values kept by Exit and the port map.
appdata="$WINEPREFIX/drive_c/users/$user/AppData/Local/dialer-config"
mkdir -p "$appdata"
[ -f "$appdata/Velkor.ini" ] || printf '111\r\n222\r\n333\r\n444\r\n555\r\n*100#\r\n' >"$appdata/Velkor.ini"
printf '[ports]\r\nCOM5=COM12\r\n' >"$appdata/ports.ini"
chown -R "$user" "$appdata"
user_files() { (cd "$appdata" && sha256sum Velkor.ini ports.ini) 2>&1; }
users_own=$(user_files)
only_next() { diff -r "$work/next/dialer-config" "$installed" >"$work/update.diff" 2>&1; }
windows win10
msiexec_logged /i "$next_msi" update || true
if [ "$(entries)" -eq 1 ] && [ "$(reported)" = "dialerctl $next_display" ] && only_next &&
    [ "$(user_files)" = "$users_own" ]; then
    pass "$next_msi_name over $msi_name: one entry, only the new files, the user's files untouched"
else
    show_log update
    cat "$work/update.diff"
    fail "the update (entries $(entries), version '$(reported)')"
fi
if msiexec_logged /i "$msi" older; then refused=no; else refused=yes; fi
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
# An installed product's repair and removal are never held back by the Windows it asks for.
windows win7
rm -f "$installed/dialerctl.txt" "$installed/dialer-config.exe"
msiexec_logged /i "$next_msi" repair || true
if [ "$(entries)" -eq 1 ] && only_next && [ "$(user_files)" = "$users_own" ]; then
    pass "$next_msi_name again repairs it in place, even on Windows 7: the removed files back, one entry"
else
    show_log repair
    cat "$work/update.diff"
    fail "the same version again (entries $(entries))"
fi

msiexec_logged /x "$next_msi" remove || true
left=$(entries)
pathleft=$(as_user wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
    /v PATH 2>/dev/null | grep -c 'dialer-config') || true
if [ ! -e "$installed" ] && [ "$left" -eq 0 ] && [ "$pathleft" -eq 0 ] &&
    [ "$(user_files)" = "$users_own" ]; then
    pass "the .msi uninstalls, even on Windows 7, leaving nothing behind but the user's own files"
else
    show_log remove
    find "$installed" | head
    fail "the uninstall left files or its entry"
fi

echo "msi: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
