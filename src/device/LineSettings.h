// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QLatin1String>
#include <QSerialPort>
#include <QStringView>

#include <optional>

// The dialer's line: 115200 baud, no parity, 8 data bits, 1 stop bit, in the serial port's
// "baud,parity,data bits,stop bits" form. The probe sets it, and the exchanges rely on it.
inline constexpr QLatin1String DialerLine("115200,N,8,1");

struct LineSettings {
    qint32 baudRate = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Nothing when the text is not of the form "115200,N,8,1".
[[nodiscard]] std::optional<LineSettings> parseLineSettings(QStringView settings);
