// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

// The system's serial device under SerialPort elsewhere: Qt Serial Port itself.

#include <QSerialPort>

using SerialLine = QSerialPort;
