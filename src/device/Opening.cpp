// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Opening_p.h"

#include "text/SystemText.h"

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

namespace HelperAnswer {

namespace {

QString helper() {
    return QDir::toNativeSeparators(DeviceOpening::program());
}

QString withReason(const QString& what, unsigned long code) {
    return QStringLiteral("%1: %2").arg(what, SystemText::fromCode(code));
}

} // namespace

DeviceOpening::Answer interpret(const OpenerProtocol::Answer& record, const Received& received) {
    using Kind = DeviceOpening::Answer::Kind;
    const bool whole = received.bytes == qsizetype(sizeof record);
    if (whole && record.kind == OpenerProtocol::Opened && received.device != -1)
        return {Kind::Opened, received.device, 0, {}};
    if (whole && record.kind == OpenerProtocol::Failed)
        return {Kind::Refused, -1, record.error, {}};
    DeviceOpening::Answer answer;
    if (received.readError != 0)
        answer.reason = withReason(
            QStringLiteral("ответ помощника открытия портов %1 не прочитан").arg(helper()),
            received.readError);
    else if (received.bytes == 0 && received.hungUp)
        // The helper ended without its answer: ended by someone, or broken.
        answer.reason =
            QStringLiteral("помощник открытия портов %1 завершился, не ответив").arg(helper());
    else
        answer.reason =
            QStringLiteral("помощник открытия портов %1 ответил не по правилам").arg(helper());
    return answer;
}

QString notStarted(unsigned long code) {
    return withReason(
        QStringLiteral("не удалось запустить помощника открытия портов %1").arg(helper()), code);
}

QString noChannel(unsigned long code) {
    return withReason(QStringLiteral("нет канала к помощнику открытия портов"), code);
}

} // namespace HelperAnswer

void DeviceOpening::deliver(const Answer& answer) {
    Q_EMIT answered(answer);
}
