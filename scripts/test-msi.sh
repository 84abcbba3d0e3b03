#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# The .msi's whole life under wine, as root on Debian 12, as a standard user meets it: a user
# without root's powers (wine run as root writes everywhere), a prefix of that user's own, the
# program's folder read-only as Program Files is. Refused on Windows 8.1 and Windows 10 1607; on
# Windows 10 1809 installed into a folder of the administrator's choosing (files, Start menu,
# PATH, the folder's lock), updated to the next version there while the window runs, the older
# refused; repaired and removed even on Windows 7; between them the window started and the whole
# story told through it; the user's own files untouched throughout; at last installed on Windows
# 11 into Program Files, with the programs list's entry, and removed. msiexec runs as the README
# tells deployment tools to run it, with a log, and every run's exit status is checked (wine hands
# on the low byte of Windows' status: 1603 arrives as 67, 3010 as 194).
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
default_folder="$WINEPREFIX/drive_c/Program Files/dialer-config"
# The folder an administrator chose, as the README's INSTALLDIR example does.
chosen='C:\Tools\dialer-config'
installed="$WINEPREFIX/drive_c/Tools/dialer-config"
windows_path() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }
msi=$(windows_path "$work/bin/$msi_name")
next_msi=$(windows_path "$work/bin/$next_msi_name")
table() { msiinfo export "$work/bin/$msi_name" "$1" | tr -d '\r'; }
product_code=$(table Property | awk -F '\t' '$1 == "ProductCode" { print $2 }')
next_code=$(msiinfo export "$work/bin/$next_msi_name" Property | tr -d '\r' |
    awk -F '\t' '$1 == "ProductCode" { print $2 }')
# As the README documents it for deployment tools: silent, no restart, with a verbose log; then
# any properties. The exit status is msiexec's.
msiexec_logged() {
    action=$1 package=$2 log=$3
    shift 3
    as_user wine msiexec "$action" "$package" /qn /norestart /l*v \
        "$(windows_path "$work/logs/$log.log")" "$@" >>"$work/msiexec.log" 2>&1
}
# The Windows version wine reports, set as winecfg sets it, on an X server, as a user's desktop
# has one; then the build number where one is given (wine has no Windows 11 and no 1607 or 1809
# of Windows 10 of its own: its Windows 10 is 1903, build 18362), and the session ended.
windows() {
    as_user "$work/bin/with-xvfb.sh" wine winecfg /v "$1" >/dev/null 2>&1
    if [ -n "${2:-}" ]; then
        for name in CurrentBuildNumber CurrentBuild; do
            as_user wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v "$name" \
                /t REG_SZ /d "$2" /f >/dev/null 2>&1
        done
    fi
    as_user wineserver -k 2>/dev/null || true
}
show_log() {
    if head -c 2 "$work/logs/$1.log" | od -An -tx1 | grep -q 'ff fe'; then
        iconv -f UTF-16 -t UTF-8 "$work/logs/$1.log"
    else
        tr -d '\r' <"$work/logs/$1.log"
    fi
}
# What a log shows of a refusal by the launch conditions: they were the last action started, and
# failed, with the property (name and value, a pattern) they failed on. Windows writes the refusal's
# text into the log too ("Product: dialer-config -- ..."); wine's msiexec writes only the actions
# and the properties, and shows no message at all, so the text is read from the package.
refused_by() {
    show_log "$1" >"$work/log.txt"
    [ "$(grep '^Action start' "$work/log.txt" | grep -v ': INSTALL\.$' | tail -n 1 |
        sed 's/.*: //')" = "LaunchConditions." ] &&
        grep -q '^Action ended .*: LaunchConditions\. Return value [02-9]' "$work/log.txt" &&
        grep -q "^Property(S): $2 = $3\$" "$work/log.txt"
}
message_of() { table LaunchCondition | awk -F '\t' -v c="$1" '$1 == c { print $2 }'; }
# The programs list's entries that name the tool, a value of one (the version, links, folder),
# the version the installed dialerctl.exe reports, and the detection value.
entries() {
    as_user wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s \
        2>/dev/null | grep -c 'DisplayName.*dialer-config' || true
}
entry_value() {
    as_user wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" \
        /v "$2" 2>/dev/null | tr -d '\r' | awk -v name="$2" '$1 == name { sub(/^ *[^ ]+ +[^ ]+ +/, ""); print }'
}
detected() {
    as_user wine reg query 'HKLM\Software\dialer-config' /v Version 2>/dev/null | tr -d '\r' |
        awk '$1 == "Version" { print $3 }'
}
reported() {
    (cd "${1:-$installed}" 2>/dev/null &&
        as_user wine ./dialerctl.exe --version 2>/dev/null | tr -d '\r') || true
}

# Below Windows 10 1809 the package refuses, with one message in Russian and English that names
# the minimum, and exits 1603.
both_languages="Для dialer-config нужна Windows 10 версии 1809 (сборка 17763) или новее либо \
Windows Server 2019 или новее. / dialer-config needs Windows 10 version 1809 (build 17763) or \
later, or Windows Server 2019 or later."
refused_on() {
    windows "$1" "$2"
    status=0
    msiexec_logged /i "$msi" "refused-$2" || status=$?
    if [ "$status" -eq 67 ] && refused_by "refused-$2" WINDOWS_BUILD "$2" &&
        [ "$(message_of 'Installed OR WINDOWS_BUILD >= 17763')" = "$both_languages" ] &&
        [ ! -e "$default_folder" ] && [ "$(entries)" -eq 0 ]; then
        pass "$3 (build $2) refuses it: exit 1603 (67 through wine), the launch conditions failing on the build in the log, the message in both languages, nothing installed"
    else
        show_log "refused-$2"
        fail "$3 (build $2): exit $status, entries $(entries)"
    fi
}
refused_on win81 9600 "Windows 8.1"
refused_on win10 14393 "Windows 10 1607"

# Windows 10 1809, into the folder an administrator chose.
windows win10 17763
status=0
msiexec_logged /i "$msi" install "INSTALLDIR=$chosen" || status=$?
# The Start menu of all users, or (as wine takes it) of the installing user.
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/dialer-config.lnk' | head -n 1)
guide=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Руководство.lnk' | head -n 1)
shown=$(reported)
entry=$(entries)
if [ "$status" -eq 0 ] && [ "$shown" = "dialerctl $display" ] && [ "$entry" -eq 1 ] &&
    [ -f "$installed/platforms/qwindows.dll" ] && [ ! -e "$default_folder" ] &&
    [ "$(entry_value "$product_code" InstallLocation)" = "$chosen\\" ] &&
    [ -n "$shortcut" ] && [ -n "$guide" ]; then
    pass "Windows 10 1809 installs it into $chosen: exit 0, $shown, an entry, Start-menu entries for the tool and its guide"
else
    show_log install
    fail "the .msi install into $chosen (exit $status, version '$shown', entries $entry)"
fi
# Wine keeps no Windows permissions, so the lock on the folder is read from the package: the
# folder INSTALLDIR names, wherever it was chosen, is made with its own DACL, inherited by every
# file in it and nothing inherited from the folder above (D:P): full control for the system (SY)
# and the administrators (BA), read and execute for users (BU, 0x1200a9), no one else. By SID,
# in MsiLockPermissionsEx: the LockPermissions table's localized names fail on a Russian Windows.
locks=$(table MsiLockPermissionsEx | awk -F '\t' 'NR > 3 { print $2, $3, $4, $5 }')
if [ "$locks" = "INSTALLDIR CreateFolder D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU) " ] &&
    table CreateFolder | grep -q "^INSTALLDIR	c_installdir\$" &&
    table FeatureComponents | grep -q "^Main	c_installdir\$" &&
    ! msiinfo tables "$work/bin/$msi_name" | grep -qx LockPermissions; then
    pass "the package locks INSTALLDIR, wherever it is: SYSTEM and Administrators full, Users read and execute, nothing inherited (its tables: wine keeps no permissions)"
else
    table MsiLockPermissionsEx
    fail "the package's lock on INSTALLDIR"
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
# The installed window on the windows platform under an X server, started from its folder, in
# the background: ended by ending the prefix's programs, which ends its X server.
start_window() {
    (cd "$installed" 2>/dev/null &&
        exec setpriv --reuid="$user" --regid=nogroup --clear-groups env -u WINEPATH \
            -u WINEQT_QPA_PLATFORM HOME="$home" USER="$user" "$work/bin/with-xvfb.sh" \
            wine ./dialer-config.exe) >"$work/window.log" 2>&1 &
    window=$!
    sleep 3
    kill -0 "$window" 2>/dev/null
}
stop_window() {
    as_user wineserver -k 2>/dev/null || true
    wait "$window" 2>/dev/null || true
}
# The window and its story run in wine's own default, Windows 7, as they always have: with wine
# set to Windows 10, the story's reading of the fields through the clipboard fails now and then.
windows win7
# The window's start-up from the installed folder: still running after three seconds.
if start_window; then
    pass "the installed window starts"
else
    cat "$work/window.log"
    fail "the installed window did not stay up"
fi
stop_window
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
# The next version over this one, with no INSTALLDIR given, while the window runs from the folder:
# the update goes where this one is. A running program's file cannot be replaced, so Windows
# Installer puts the new one in place at the next restart and exits 3010 (194 through wine), every
# other file new at once; the restart (wineboot -r does what Windows does at start-up with the
# renames it was left) completes it. (Without /norestart a silent install may restart the
# computer itself, and exits 1641: wine never restarts.)
windows win10 17763
start_window || cat "$work/window.log"
status=0
msiexec_logged /i "$next_msi" update || status=$?
new_at_once=no
[ "$(reported)" = "dialerctl $next_display" ] &&
    ! cmp -s "$installed/dialer-config.exe" "$work/next/dialer-config/dialer-config.exe" &&
    new_at_once=yes
stop_window
as_user wineboot -r >/dev/null 2>&1
as_user wineserver -k 2>/dev/null || true
# Wine has no Restart Manager; on Windows a silent install would close the running programs
# unless the package turns it off, so the package's table says that part.
if [ "$status" -eq 194 ] && [ "$new_at_once" = yes ] && [ "$(entries)" -eq 1 ] && only_next &&
    table Property | grep -q '^MSIRESTARTMANAGERCONTROL	Disable$' &&
    [ "$(detected)" = "${next_display}" ] && [ ! -e "$default_folder" ] &&
    [ "$(entry_value "$next_code" InstallLocation)" = "$chosen\\" ] &&
    [ "$(user_files)" = "$users_own" ]; then
    pass "$next_msi_name over $msi_name while the window runs: into $chosen again, exit 3010 (194 through wine), the running program replaced at the restart, every other file at once; then one entry, only the new files, Version=$next_display, the user's files untouched"
else
    show_log update
    cat "$work/update.diff"
    fail "the update (exit $status, the other files new at once: $new_at_once, entries $(entries), detected '$(detected)')"
fi
status=0
msiexec_logged /i "$msi" older || status=$?
if [ "$status" -eq 67 ] && refused_by older WIX_DOWNGRADE_DETECTED "$next_code" &&
    message_of 'NOT WIX_DOWNGRADE_DETECTED' | grep -q '^Уже установлена более новая версия dialer-config\..* / A newer version of dialer-config is installed\.' &&
    [ "$(entries)" -eq 1 ] && [ "$(reported)" = "dialerctl $next_display" ] && only_next &&
    [ "$(user_files)" = "$users_own" ]; then
    pass "$msi_name over $next_msi_name is refused: exit 1603 (67), the launch conditions failing on the newer one in the log, the message in both languages, the newer as it was"
else
    show_log older
    cat "$work/update.diff"
    fail "the older version over the newer (exit $status, entries $(entries), version '$(reported)')"
fi
# The same version again repairs it: a damaged file comes back, not only a deleted one. An
# installed product's repair is never held back by the Windows it asks for. The package rewrites
# every file (REINSTALLMODE=amus): Windows keeps a file of the same version, and a file without a
# version changed since it was installed, unless told "a". Wine rewrites them either way, so the
# package's own tables say that part.
windows win7
damage() { printf 'damaged' | dd of="$installed/$1" bs=1 seek=4096 conv=notrunc 2>/dev/null; }
damage dialer-config.exe
damage Qt6Core.dll
damage dialerctl.txt
rm -f "$installed/README.txt"
status=0
msiexec_logged /i "$next_msi" repair || status=$?
if [ "$status" -eq 0 ] && [ "$(entries)" -eq 1 ] && only_next &&
    [ "$(user_files)" = "$users_own" ] &&
    table CustomAction | grep -q '^RepairEveryFile	51	REINSTALLMODE	amus' &&
    table InstallExecuteSequence | grep -q '^RepairEveryFile	Installed AND NOT REMOVE AND NOT REINSTALL	'; then
    pass "$next_msi_name again repairs it in place, even on Windows 7: exit 0, the damaged program, DLL and manual and the deleted README back, one entry"
else
    show_log repair
    cat "$work/update.diff"
    fail "the same version again (exit $status, entries $(entries))"
fi

status=0
msiexec_logged /x "$next_msi" remove || status=$?
left=$(entries)
pathleft=$(as_user wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
    /v PATH 2>/dev/null | grep -c 'dialer-config') || true
if [ "$status" -eq 0 ] && [ ! -e "$installed" ] && [ "$left" -eq 0 ] && [ "$pathleft" -eq 0 ] &&
    [ -z "$(detected)" ] && [ "$(user_files)" = "$users_own" ]; then
    pass "the .msi uninstalls, even on Windows 7: exit 0, nothing left behind but the user's own files"
else
    show_log remove
    find "$installed" | head
    fail "the uninstall (exit $status) left files or its entry"
fi

# Windows 11 (build 22631, as Windows 11 reports itself in the registry): installed into Program
# Files, as a double click does, with the programs list's entry as an administrator expects it;
# then removed. (Last: wine's removal leaves PATH's separator behind, and wine's cmd searches no
# further than an empty entry, so the PATH is tried on the first install.)
windows win10 22631
status=0
msiexec_logged /i "$msi" install-11 || status=$?
shown=$(reported "$default_folder")
version=${shown#dialerctl }
website=$(table Property | awk -F '\t' '$1 == "ARPURLINFOABOUT" { print $2 }')
if [ "$status" -eq 0 ] && [ "$shown" = "dialerctl $display" ] && [ "$(entries)" -eq 1 ] &&
    [ "$(entry_value "$product_code" DisplayVersion)" = "$version" ] &&
    [ "$(detected)" = "$version" ] && [ -n "$website" ] &&
    [ "$(entry_value "$product_code" URLInfoAbout)" = "$website" ] &&
    [ "$(entry_value "$product_code" HelpLink)" = "$website" ] &&
    entry_value "$product_code" ModifyPath | grep -q "$product_code" &&
    [ -z "$(entry_value "$product_code" NoModify)" ] &&
    [ "$(entry_value "$product_code" InstallLocation)" = "C:\\Program Files\\dialer-config\\" ]; then
    pass "Windows 11 installs it into Program Files: exit 0, the programs list shows $version as the program does, its site and help link, Modify, the folder; Version=$version for detection"
else
    show_log install-11
    as_user wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_code"
    fail "Windows 11: exit $status, version '$shown', detected '$(detected)'"
fi
status=0
msiexec_logged /x "$msi" remove-11 || status=$?
if [ "$status" -eq 0 ] && [ ! -e "$default_folder" ] && [ "$(entries)" -eq 0 ] &&
    [ -z "$(detected)" ]; then
    pass "and removes it: exit 0, no folder, no entry, no detection value"
else
    show_log remove-11
    fail "the removal on Windows 11: exit $status, entries $(entries)"
fi

echo "msi: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
