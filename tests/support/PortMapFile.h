// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>

// Writes <configHome>/dialer-config/ports.ini naming these devices as COMn, so that a program run
// with XDG_CONFIG_HOME=<configHome> sees exactly these ports.
inline bool writePortMapFile(const QString& configHome, const QMap<int, QString>& devices) {
    if (!QDir().mkpath(configHome + QStringLiteral("/dialer-config")))
        return false;
    QFile file(configHome + QStringLiteral("/dialer-config/ports.ini"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray text = "[ports]\n";
    for (auto it = devices.cbegin(); it != devices.cend(); ++it)
        text += "COM" + QByteArray::number(it.key()) + '=' + it.value().toLocal8Bit() + '\n';
    return file.write(text) == text.size();
}
