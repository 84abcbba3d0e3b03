#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Makes the Windows packages of a cross-built folder (the `windows` preset): the installer
# dialer-config-<version>.msi, the portable dialer-config-<version>-windows.zip of the same folder
# of programs, and SHA256SUMS beside them.
#
#   scripts/package-windows.sh [BUILD_DIR]      (build-windows by default)
#
# Given a code-signing certificate (see scripts/signing.sh), every program and DLL is signed before
# it goes into the packages, and the .msi once it is made; given a GnuPG key, SHA256SUMS.asc goes
# beside.
#
# Two runs on one source give the same bytes, whichever folder the clone is in: every file takes
# the time SOURCE_DATE_EPOCH (the last commit's, unless set) and goes in in a fixed order, wixl and
# msibuild see that time as the clock. The installer's package code is derived from the unsigned
# package's contents, so a signed build, whoever signs it and whenever, is the same package as the
# unsigned one of its source: one version, one package code.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
build=$(cd "${1:-build-windows}" && pwd)
. scripts/reproducible.sh
. scripts/signing.sh
export TZ=UTC LC_ALL=C.UTF-8

version="" display_version="" qt="" website=""
# shellcheck source=/dev/null
. "$build/windows/package.env"
msi="$build/dialer-config-$display_version.msi"
zip="$build/dialer-config-$display_version-windows.zip"
# A key that cannot sign as asked is refused before anything is made.
authenticode_ready

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The programs, with dialer-open.exe that opens the ports for the other two, and the Qt and mingw
# runtime DLLs and the windows platform plugin beside them.
stage="$work/stage"
folder="$stage/dialer-config"
mkdir -p "$folder/platforms" "$folder/styles" "$folder/licenses"
cp "$build/dialer-config.exe" "$build/dialerctl.exe" "$build/dialer-open.exe" \
    "$qt/bin/Qt6Core.dll" "$qt/bin/Qt6Gui.dll" "$qt/bin/Qt6Widgets.dll" "$qt/bin/Qt6SerialPort.dll" \
    "$qt/bin/libstdc++-6.dll" "$qt/bin/libgcc_s_seh-1.dll" "$qt/bin/libwinpthread-1.dll" "$folder/"
cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"
cp "$build/windows/dialer-config.ico" "$stage/"
# What a Windows user reads, with Windows line ends: the README, dialerctl's manual as text, and
# the licence texts of everything the packages hand out, named as reuse names them.
crlf() { sed 's/\r*$/\r/'; }
cp "$build/windows/README.txt" "$build/windows/NOTICE.txt" "$folder/"
MANWIDTH=80 man -l docs/man/dialerctl.1 2>/dev/null | col -bx | crlf >"$folder/dialerctl.txt"
pandoc --standalone --self-contained --resource-path=docs -o "$folder/guide.ru.html" \
    docs/guide.ru.md
licenses="$folder/licenses"
crlf <LICENSE >"$licenses/MIT.txt"
crlf </usr/share/common-licenses/LGPL-3 >"$licenses/LGPL-3.0-only.txt"
crlf </usr/share/common-licenses/GPL-3 >"$licenses/GPL-3.0-or-later.txt"
awk '/^GCC RUNTIME LIBRARY EXCEPTION/ { p = 1 } p { print } p && /license of GCC\./ { exit }' \
    /usr/share/doc/gcc-12-base/copyright | crlf >"$licenses/GCC-exception-3.1.txt"
crlf </usr/share/doc/mingw-w64-x86-64-dev/copyright >"$licenses/mingw-w64-runtime.txt"

# The installer of the staged folder, as $msi, its package code all zeros.
make_msi() {
    touch_to_source_date "$stage"
    rm -f "$msi"
    (cd "$stage" && python3 "$top/packaging/windows/wxs.py" dialer-config dialer-config.ico \
        "$version" "$display_version" "$website" "$work/tables" >dialer-config.wxs &&
        at_source_date wixl -a x64 -o "$msi" dialer-config.wxs 2>"$work/wixl.log") || {
        cat "$work/wixl.log" >&2
        return 1
    }
    tables="$work/tables"
    # dialerctl.exe on the system PATH, taken off it again at uninstall. wixl takes no
    # <Environment>, so the Environment table and its two standard actions are added to the package
    # it built, with the tables wxs.py wrote for what wixl cannot write either.
    printf 'Environment\tName\tValue\tComponent_\r\ns72\tl255\tL255\ts72\r\nEnvironment\tEnvironment\r\nPathEntry\t=-*PATH\t[~];[INSTALLDIR]\tc_shortcut\r\n' \
        >"$tables/Environment.idt"
    msiinfo export "$msi" InstallExecuteSequence >"$tables/InstallExecuteSequence.idt"
    printf 'RemoveEnvironmentStrings\t\t3300\r\nWriteEnvironmentStrings\t\t5200\r\n' \
        >>"$tables/InstallExecuteSequence.idt"
    # The guide's Start-menu entry and the refusals (an older version, an older Windows) are in
    # Russian, which wixl cannot write: the package takes the Cyrillic code page, and the texts go
    # in afterwards, each refusal in Russian and then in English, as wixl wrote it.
    printf '\r\n\r\n1251\t_ForceCodepage\r\n' >"$tables/_ForceCodepage.idt"
    (cd "$tables" && at_source_date msibuild "$msi" -i _ForceCodepage.idt Environment.idt \
        InstallExecuteSequence.idt AppSearch.idt CompLocator.idt MsiLockPermissionsEx.idt)
    at_source_date msibuild "$msi" -q "INSERT INTO Shortcut (Shortcut, Directory_, Name, \
Component_, Target, Description, WkDir) VALUES ('guide', 'ProgramMenuFolder', 'Руководство', \
'c_shortcut', '[INSTALLDIR]guide.ru.html', 'Руководство для установщика', 'INSTALLDIR')"
    in_both 'NOT WIX_DOWNGRADE_DETECTED' "Уже установлена более новая версия dialer-config. \
Чтобы установить эту, сначала удалите установленную."
    in_both 'Installed OR WINDOWS_BUILD >= 17763' "Для dialer-config нужна Windows 10 версии 1809 \
(сборка 17763) или новее либо Windows Server 2019 или новее."
    summary "{00000000-0000-0000-0000-000000000000}"
}
# The refusal of a launch condition, given exactly, in Russian, then in English: one message
# within the column's 255 characters.
in_both() {
    english=$(msiinfo export "$msi" LaunchCondition | tr -d '\r' |
        awk -F '\t' -v condition="$1" '$1 == condition { print $2 }')
    message="$2 / $english"
    if [ -z "$english" ] || [ "$(printf %s "$message" | wc -m)" -gt 255 ]; then
        echo "package-windows.sh: no launch condition '$1', or its message is too long" >&2
        return 1
    fi
    at_source_date msibuild "$msi" -q "UPDATE LaunchCondition SET Description = '$message' \
WHERE Condition = '$1'"
}
summary() {
    at_source_date msibuild "$msi" -s "Configuration Tool For GSM dialer" \
        "dialer-config developers" "x64;1033" "$1"
}

# The package code names the unsigned package's bytes: made with a code of zeros, then derived
# from them. A signed build is made again from the signed programs and takes the same code.
make_msi
code=$(python3 -c 'import hashlib, sys, uuid
digest = hashlib.sha256(open(sys.argv[1], "rb").read()).hexdigest()
print("{%s}" % str(uuid.uuid5(uuid.NAMESPACE_URL, "dialer-config.msi:" + digest)).upper())' "$msi")
if authenticode_wanted; then
    # Every program and DLL that ships: Qt's and mingw's are this build of their sources, and
    # application control (WDAC, AppLocker, Smart App Control) goes by who shipped them.
    # shellcheck disable=SC2046 # the staged names hold no blanks
    authenticode_sign $(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) | sort)
    make_msi
fi
summary "$code"
if authenticode_wanted; then
    authenticode_sign "$msi"
fi

rm -f "$zip" "$build/SHA256SUMS" "$build/SHA256SUMS.asc"
# No directory entries, no Unix owners or extra times, the files in byte order of their names.
(cd "$stage" && find dialer-config -type f | sort | zip -qX -D "$zip" -@)

(cd "$build" && sha256sum "$(basename "$msi")" "$(basename "$zip")" >SHA256SUMS)
sign_sums "$build"
echo "$msi"
echo "$zip"
