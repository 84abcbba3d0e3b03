// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "SettingsLocation.h"

#include <QDir>
#include <QStandardPaths>

#include <shlobj.h>
#include <windows.h>

namespace SettingsLocation {

namespace {

QString knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    QString folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)))
        folder = QDir::fromNativeSeparators(QString::fromWCharArray(path));
    CoTaskMemFree(path);
    return folder;
}

} // namespace

QStringList protectedFolders() {
    QStringList folders;
    for (REFKNOWNFOLDERID id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86,
                                FOLDERID_ProgramFilesX64, FOLDERID_Windows}) {
        const QString folder = knownFolder(id);
        if (!folder.isEmpty() && !folders.contains(folder, Qt::CaseInsensitive))
            folders << folder;
    }
    return folders;
}

QString userFolder() {
    // The user's local application data, where the port map lives too.
    const QString local = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return local.isEmpty() ? QString() : local + QStringLiteral("/dialer-config");
}

} // namespace SettingsLocation
