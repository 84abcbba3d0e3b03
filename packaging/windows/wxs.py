#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""Writes the Windows Installer source (for wixl) of a folder of programs: every file a component
with a GUID derived from its path (stable from one build to the next), a Start-menu shortcut with
the icon, an uninstall entry, installed per machine into Program Files. (wixl writes no names
outside its code page: the guide's Start-menu entry, «Руководство», and the Russian text of the
refusals below are put into the built package by scripts/package-windows.sh.)

Windows 10 or later: Qt 6 needs it. Windows Installer reports VersionNT 603 on Windows 10 too (for
compatibility), and wine writes CurrentMajorVersionNumber for Windows 7 as well, so the package
reads the build number, which every version keeps in the registry as it is: 10240 was the first
of Windows 10. An installed product is never held back by it: its repair and removal go ahead.

Updates: the product code follows from the version, so a rebuild of one version is the same
product, and installing it again repairs that product in place. A newer version removes the older
one before it installs (a major upgrade); an older version over a newer one is refused.

    wxs.py FOLDER ICON VERSION > dialer-config.wxs
"""

import os
import sys
import uuid
from xml.sax.saxutils import quoteattr

NAMESPACE = uuid.UUID("6b1f0c4e-2d0a-4c55-9b1e-5f3a2c7d8e90")
UPGRADE_CODE = "3A1C6E52-8F0B-4D7A-9C2E-1B5D4F6A7E83"
# The first build of Windows 10 (7601 is Windows 7 SP1, 9600 Windows 8.1).
MINIMUM_BUILD = 10240
# Installed already, and neither removed nor repaired by the user's own choice.
REPAIR_CONDITION = "Installed AND NOT REMOVE AND NOT REINSTALL"


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


def main():
    sys.stdout.reconfigure(encoding="utf-8")
    root, icon, version = sys.argv[1], sys.argv[2], sys.argv[3]
    ids = []
    files = folder_xml(root, "", ids)
    refs = "".join('<ComponentRef Id="%s"/>' % i for i in ids)
    print(f'''<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{guid('product ' + version)}" Name="dialer-config" Language="1033"
           Version={quoteattr(version)} Manufacturer="dialer-config developers"
           UpgradeCode="{UPGRADE_CODE}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"
             Description="Configuration Tool For GSM dialer"/>
    <MajorUpgrade DowngradeErrorMessage="A newer version of dialer-config is installed."/>
    <Property Id="WINDOWS_BUILD">
      <RegistrySearch Id="WindowsBuild" Root="HKLM" Key="SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"
                      Name="CurrentBuildNumber" Type="raw" Win64="yes"/>
    </Property>
    <Condition Message="dialer-config needs Windows 10 or later.">Installed OR WINDOWS_BUILD &gt;= {MINIMUM_BUILD}</Condition>
    <!-- The same version again: reinstall what is missing or damaged, as a repair would. Just
         before CostInitialize (800), by number: wixl places an action given as Before= at a
         number that changes from one run to the next. -->
    <CustomAction Id="RepairSameVersion" Property="REINSTALL" Value="ALL" Execute="immediate"
                  Impersonate="yes"/>
    <InstallUISequence>
      <Custom Action="RepairSameVersion" Sequence="790">{REPAIR_CONDITION}</Custom>
    </InstallUISequence>
    <InstallExecuteSequence>
      <Custom Action="RepairSameVersion" Sequence="790">{REPAIR_CONDITION}</Custom>
    </InstallExecuteSequence>
    <Media Id="1" Cabinet="dialer.cab" EmbedCab="yes"/>
    <Icon Id="dialer.ico" SourceFile={quoteattr(icon)}/>
    <Property Id="ARPPRODUCTICON" Value="dialer.ico"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFiles64Folder">
        <Directory Id="INSTALLDIR" Name="dialer-config">
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
        </Component>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1">{refs}<ComponentRef Id="c_shortcut"/></Feature>
  </Product>
</Wix>''')


if __name__ == "__main__":
    main()
