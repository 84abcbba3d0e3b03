// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Opening.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <mutex>

namespace {

std::mutex programMutex;
QString& chosenProgram() {
    static QString path;
    return path;
}

} // namespace

QString openingNotReturned(int waitMs) {
    return QStringLiteral("порт не открылся за %1 с: открытие ещё не завершено")
        .arg(QString::number(waitMs / 1000.0, 'f', 1).replace(u'.', u','));
}

QString DeviceOpening::program() {
    {
        const std::lock_guard lock(programMutex);
        if (!chosenProgram().isEmpty())
            return chosenProgram();
    }
    const QStringList places = openingHelperLocations(QCoreApplication::applicationDirPath());
    for (const QString& place : places) {
        if (QFileInfo(place).isExecutable())
            return QDir::cleanPath(place);
    }
    return QDir::cleanPath(places.value(0));
}

void DeviceOpening::setProgram(const QString& path) {
    const std::lock_guard lock(programMutex);
    chosenProgram() = path;
}

void DeviceOpening::deliver(const Answer& answer) {
    Q_EMIT answered(answer);
}
