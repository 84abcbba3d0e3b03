// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "SettingsStore.h"

#include <QString>
#include <QStringList>

// Where a run of the window keeps Velkor.ini: in the current folder, unless that folder lies
// where no user may write by design. On Windows these are the program folders, the system
// folder and the folder the installer put the programs in, wherever it is (only administrators
// write there): the Start-menu shortcut starts the installed program in its own folder, and a
// start from the shell may begin in the system folder. There the file lives in the user's own
// folder, the same for every such start and every user apart. Elsewhere the current folder
// always holds it.
namespace SettingsLocation {

// The store for this run: the current folder's "Velkor.ini", or the user's own folder's, which
// Save creates when it is missing.
[[nodiscard]] SettingsStore forThisRun();

// The rule: the user's own folder's file when the current folder is one of the protected
// folders or lies within one (compared without regard to case, with either separator);
// otherwise the relative name.
[[nodiscard]] QString choose(const QString& currentFolder, const QStringList& protectedFolders,
                             const QString& userFolder);

// The folders no user writes to (none where the system has no such folders; on Windows the
// installed programs' folder among them, as the installer wrote it under
// HKLM\Software\dialer-config, InstallDir), and the user's own folder for the file
// ("%LOCALAPPDATA%\dialer-config" on Windows, beside the port map).
[[nodiscard]] QStringList protectedFolders();
[[nodiscard]] QString userFolder();

} // namespace SettingsLocation
