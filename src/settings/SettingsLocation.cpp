// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "SettingsLocation.h"

#include <QDir>

namespace SettingsLocation {

namespace {

// Windows takes either separator; the rule is the same on every system, so both are read here.
QString comparable(QString folder) {
    QString path = QDir::cleanPath(folder.replace(u'\\', u'/'));
    while (path.endsWith(u'/') && path.size() > 1)
        path.chop(1);
    return path;
}

} // namespace

QString choose(const QString& currentFolder, const QStringList& protectedFolders,
               const QString& userFolder) {
    const QString current = comparable(currentFolder);
    for (const QString& folder : protectedFolders) {
        const QString root = comparable(folder);
        if (root.isEmpty() || userFolder.isEmpty())
            continue;
        if (current.compare(root, Qt::CaseInsensitive) == 0 ||
            current.startsWith(root + u'/', Qt::CaseInsensitive))
            return comparable(userFolder) + u'/' + QLatin1String(SettingsStore::FileName);
    }
    return QString::fromLatin1(SettingsStore::FileName);
}

SettingsStore forThisRun() {
    const QString path = choose(QDir::currentPath(), protectedFolders(), userFolder());
    SettingsStore store(path);
    store.setCreatesFolder(path != QLatin1String(SettingsStore::FileName));
    return store;
}

} // namespace SettingsLocation
