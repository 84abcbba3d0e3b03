#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""Writes the Windows Installer source (for wixl) of a folder of programs: every file a component
with a GUID derived from its path (stable from one build to the next), a Start-menu shortcut with
the icon, an entry in the programs list, installed per machine into Program Files or the folder
given as INSTALLDIR. Into TABLES it writes, as .idt files, the tables wixl cannot write, which
scripts/package-windows.sh imports into the built package (as it puts in the Russian texts: wixl
writes no names outside its code page).

Windows 10 1809 (build 17763) or later, Windows Server 2019 or later: Qt 6.4's minimum. Windows
Installer reports VersionNT 603 on Windows 10 too (for compatibility), and wine writes
CurrentMajorVersionNumber for Windows 7 as well, so the package reads the build number, which
every version keeps in the registry as it is. An installed product is never held back by it: its
repair and removal go ahead.

Updates: the product code follows from the version, so a rebuild of one version is the same
product, and installing it again repairs that product in place, every file rewritten. A newer
version removes the older one before it installs (a major upgrade), into the folder the older one
was in; an older version over a newer one is refused. The programs list shows the version as the
programs do (2.00), and HKLM\\Software\\dialer-config holds it as Version, for detection rules.

The install folder, wherever it is, is writable by administrators and the system only, and
readable by users (MsiLockPermissionsEx, whose SDDL names the groups by SID: the LockPermissions
table takes account names, and of the groups only Everyone and Administrators in English, so
"Users" would fail the install on a Russian Windows). The programs read the folder back from
InstallDir in that key.

    wxs.py FOLDER ICON VERSION DISPLAY_VERSION WEBSITE TABLES > dialer-config.wxs
"""

import os
import sys
import uuid
from xml.sax.saxutils import escape, quoteattr

NAMESPACE = uuid.UUID("6b1f0c4e-2d0a-4c55-9b1e-5f3a2c7d8e90")
UPGRADE_CODE = "3A1C6E52-8F0B-4D7A-9C2E-1B5D4F6A7E83"
# Windows 10 1809 and Windows Server 2019 (1607 and Server 2016 are 14393, 8.1 is 9600).
MINIMUM_BUILD = 17763
WINDOWS_CONDITION = "Installed OR WINDOWS_BUILD >= %d" % MINIMUM_BUILD
# The refusals in English (scripts/package-windows.sh puts the Russian before them).
OLDER_WINDOWS = ("dialer-config needs Windows 10 version 1809 (build %d) or later, or Windows "
                 "Server 2019 or later." % MINIMUM_BUILD)
NEWER_INSTALLED = ("A newer version of dialer-config is installed. To install this one, remove "
                   "the installed one first.")
# Installed already, and neither removed nor repaired by the user's own choice.
REPAIR_CONDITION = "Installed AND NOT REMOVE AND NOT REINSTALL"
# Full control for the system and the administrators, read and execute for users, nothing
# inherited from the folder above (P): a folder on D:\ would otherwise let users write there.
INSTALLDIR_SDDL = "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
# The file whose folder an earlier version was installed in, whichever version that was.
LOCATOR_FILE = "dialerctl.exe"


def guid(name):
    return str(uuid.uuid5(NAMESPACE, name)).upper()


def ident(name):
    return "c_" + "".join(c if c.isalnum() else "_" for c in name)


def folder_xml(root, rel, ids):
    parts = []
    path = os.path.join(root, rel)
    for entry in sorted(os.listdir(path)):
        entry_rel = os.path.join(rel, entry) if rel else entry
        full = os.path.join(root, entry_rel)
        if os.path.isdir(full):
            parts.append('<Directory Id=%s Name=%s>%s</Directory>' % (
                quoteattr("d_" + ident(entry_rel)[2:]), quoteattr(entry),
                folder_xml(root, entry_rel, ids)))
        else:
            cid = ident(entry_rel)
            ids.append(cid)
            parts.append('<Component Id=%s Guid="%s" Win64="yes"><File Id=%s Source=%s '
                         'KeyPath="yes"/></Component>' % (
                             quoteattr(cid), guid(entry_rel), quoteattr("f" + cid),
                             quoteattr(full)))
    return "\n".join(parts)


def idt(path, columns, table, keys, rows):
    """An .idt file as msibuild imports it: names, types, then table and key, then the rows."""
    lines = ["\t".join(name for name, _ in columns), "\t".join(kind for _, kind in columns),
             "\t".join([table] + keys)] + ["\t".join(row) for row in rows]
    with open(path, "w", encoding="ascii", newline="") as out:
        out.write("".join(line + "\r\n" for line in lines))


def write_tables(folder):
    """AppSearch (wixl's row for the build number and one for the earlier folder), CompLocator
    and MsiLockPermissionsEx."""
    os.makedirs(folder, exist_ok=True)
    idt(os.path.join(folder, "AppSearch.idt"), [("Property", "s72"), ("Signature_", "s72")],
        "AppSearch", ["Property", "Signature_"],
        [["WINDOWS_BUILD", "WindowsBuild"], ["PREVIOUSINSTALLDIR", "PreviousFolder"]])
    # Type 1, no Signature row: the folder of the component's key file.
    idt(os.path.join(folder, "CompLocator.idt"),
        [("Signature_", "s72"), ("ComponentId", "s38"), ("Type", "I2")], "CompLocator",
        ["Signature_"], [["PreviousFolder", "{%s}" % guid(LOCATOR_FILE), "1"]])
    idt(os.path.join(folder, "MsiLockPermissionsEx.idt"),
        [("MsiLockPermissionsEx", "s72"), ("LockObject", "s72"), ("Table", "s32"),
         ("SDDLText", "l0"), ("Condition", "S255")], "MsiLockPermissionsEx",
        ["MsiLockPermissionsEx"], [["InstallFolder", "INSTALLDIR", "CreateFolder",
                                    INSTALLDIR_SDDL, ""]])


def main():
    sys.stdout.reconfigure(encoding="utf-8")
    root, icon, version, display_version, website, tables = sys.argv[1:7]
    if not os.path.isfile(os.path.join(root, LOCATOR_FILE)):
        sys.exit("wxs.py: %s has no %s" % (root, LOCATOR_FILE))
    write_tables(tables)
    ids = []
    files = folder_xml(root, "", ids)
    refs = "".join('<ComponentRef Id="%s"/>' % i for i in ids)
    # Custom actions that set a property, each at a fixed number: wixl places an action given as
    # Before= at a number that changes from one run to the next.
    actions = [
        # The same version again: every file rewritten (a), not only the missing ones, so that a
        # damaged file comes back too, as a repair from the programs list's Modify does.
        ("RepairSameVersion", "REINSTALL", "ALL", 790, REPAIR_CONDITION),
        ("RepairEveryFile", "REINSTALLMODE", "amus", 791, REPAIR_CONDITION),
        # An update goes where the version it replaces was, unless told INSTALLDIR.
        ("KeepFolder", "INSTALLDIR", "[PREVIOUSINSTALLDIR]", 795,
         "PREVIOUSINSTALLDIR AND NOT INSTALLDIR"),
    ]
    custom = "\n    ".join(
        '<CustomAction Id="%s" Property="%s" Value="%s" Execute="immediate" Impersonate="yes"/>'
        % (name, prop, value) for name, prop, value, _, _ in actions)
    scheduled = "\n      ".join(
        '<Custom Action="%s" Sequence="%d">%s</Custom>' % (name, number, condition)
        for name, _, _, number, condition in actions)
    print(f'''<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{guid('product ' + version)}" Name="dialer-config" Language="1033"
           Version={quoteattr(display_version)} Manufacturer="dialer-config developers"
           UpgradeCode="{UPGRADE_CODE}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"
             Description="Configuration Tool For GSM dialer"/>
    <MajorUpgrade DowngradeErrorMessage={quoteattr(NEWER_INSTALLED)}/>
    <Property Id="WINDOWS_BUILD">
      <RegistrySearch Id="WindowsBuild" Root="HKLM" Name="CurrentBuildNumber" Type="raw"
                      Key="SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion" Win64="yes"/>
    </Property>
    <Condition Message={quoteattr(OLDER_WINDOWS)}>{escape(WINDOWS_CONDITION)}</Condition>
    {custom}
    <CustomAction Id="ShowFolder" Property="ARPINSTALLLOCATION" Value="[INSTALLDIR]"
                  Execute="immediate" Impersonate="yes"/>
    <InstallUISequence>
      {scheduled}
    </InstallUISequence>
    <InstallExecuteSequence>
      {scheduled}
      <Custom Action="ShowFolder" Sequence="1010"/>
    </InstallExecuteSequence>
    <Media Id="1" Cabinet="dialer.cab" EmbedCab="yes"/>
    <Icon Id="dialer.ico" SourceFile={quoteattr(icon)}/>
    <Property Id="ARPPRODUCTICON" Value="dialer.ico"/>
    <!-- A silent install would otherwise have the Restart Manager close a running window or
         dialerctl (an exchange cut off, values not kept); this way the running program's file is
         replaced at the next restart and msiexec exits 3010, as the README says. -->
    <Property Id="MSIRESTARTMANAGERCONTROL" Value="Disable"/>
    <Property Id="ARPURLINFOABOUT" Value={quoteattr(website)}/>
    <Property Id="ARPHELPLINK" Value={quoteattr(website)}/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFiles64Folder">
        <Directory Id="INSTALLDIR" Name="dialer-config">
          <Component Id="c_installdir" Guid="{guid('install folder')}" Win64="yes">
            <CreateFolder/>
          </Component>
{files}
        </Directory>
      </Directory>
      <Directory Id="ProgramMenuFolder">
        <Component Id="c_shortcut" Guid="{guid('shortcut')}" Win64="yes">
          <Shortcut Id="menu" Name="dialer-config" Description="Configuration Tool For GSM dialer"
                    Target="[INSTALLDIR]dialer-config.exe" WorkingDirectory="INSTALLDIR"
                    Icon="dialer.ico"/>
          <RegistryValue Root="HKLM" Key="Software\\dialer-config" Name="installed"
                         Type="integer" Value="1" KeyPath="yes"/>
          <RegistryValue Root="HKLM" Key="Software\\dialer-config" Name="Version"
                         Type="string" Value="[ProductVersion]"/>
          <RegistryValue Root="HKLM" Key="Software\\dialer-config" Name="InstallDir"
                         Type="string" Value="[INSTALLDIR]"/>
        </Component>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1">
      <ComponentRef Id="c_installdir"/>{refs}<ComponentRef Id="c_shortcut"/>
    </Feature>
  </Product>
</Wix>''')


if __name__ == "__main__":
    main()
