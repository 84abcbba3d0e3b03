// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "LineSettings.h"

#include <QList>

std::optional<LineSettings> parseLineSettings(QStringView settings) {
    const QList<QStringView> parts = settings.split(u',');
    if (parts.size() != 4)
        return std::nullopt;
    LineSettings line;
    bool ok = false;
    line.baudRate = parts[0].trimmed().toInt(&ok);
    if (!ok || line.baudRate <= 0)
        return std::nullopt;

    const QStringView parity = parts[1].trimmed();
    if (parity.size() != 1)
        return std::nullopt;
    switch (parity.front().toUpper().unicode()) {
    case u'N':
        line.parity = QSerialPort::NoParity;
        break;
    case u'E':
        line.parity = QSerialPort::EvenParity;
        break;
    case u'O':
        line.parity = QSerialPort::OddParity;
        break;
    case u'M':
        line.parity = QSerialPort::MarkParity;
        break;
    case u'S':
        line.parity = QSerialPort::SpaceParity;
        break;
    default:
        return std::nullopt;
    }

    const int dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    line.dataBits = static_cast<QSerialPort::DataBits>(dataBits);

    const QStringView stop = parts[3].trimmed();
    if (stop == u"1")
        line.stopBits = QSerialPort::OneStop;
    else if (stop == u"1.5")
        line.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == u"2")
        line.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return line;
}
