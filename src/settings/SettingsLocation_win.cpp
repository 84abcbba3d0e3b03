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

// The folder the installer put the programs in, wherever that is: it writes it here, and lets
// only administrators write into it, as into Program Files.
QString installFolder() {
    wchar_t value[MAX_PATH + 1] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\dialer-config", L"InstallDir", RRF_RT_REG_SZ,
                     nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return QDir::fromNativeSeparators(QString::fromWCharArray(value));
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
    const QString installed = installFolder();
    if (!installed.isEmpty())
        folders << installed;
    return folders;
}

QString userFolder() {
    // The user's local application data, where the port map lives too.
    const QString local = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return local.isEmpty() ? QString() : local + QStringLiteral("/dialer-config");
}

} // namespace SettingsLocation
