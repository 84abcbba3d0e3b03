// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "SerialPort.h"

#include <QList>
#include <QStringView>

struct ProbedPort {
    int port = 0; // 1 to 9
    bool opened = false;
    SerialPort::Error error = SerialPort::Error::None;
    QString reason;     // why it did not open
    QString devicePath; // the device the map names, if any
    QString description;
};

// Tries COM1 to COM9 once each, in ascending order: set the line parameters, open, close. Every
// failure is taken as "not offered" and the next pass runs; no port is left open. The result has
// one entry per port number.
[[nodiscard]] QList<ProbedPort> PortDiscovery(SerialPort& port);

// The port number the selector's text names: its fourth character alone, when it is a decimal
// digit; otherwise 0. "COM3" gives 3, "COM12" gives 1, "COM 4" and "COM" give 0.
[[nodiscard]] int SelectedPortNumber(QStringView selectorText);
