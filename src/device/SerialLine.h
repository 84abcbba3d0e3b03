// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QSerialPort>

// The system's serial device under SerialPort.
//
// Each system's line takes up a device the opening helper has opened (DeviceOpening), which Qt
// Serial Port cannot. On Linux it is a terminal device set up as Qt Serial Port sets it up, with
// its lock file (SerialLine_unix.h). On Windows it is the communications API read by polling
// from the event loop: Qt's Windows port waits for the system's receive event, and a driver that
// never signals it (wine's on a pseudo-terminal, some USB adapters' drivers) leaves every reply
// unread. A read that returns at once with whatever is waiting, every few milliseconds while the
// port is open, needs nothing from the driver but its input queue: only the bytes the driver
// reports waiting are read, so that a driver that does not honour the read that returns at once
// holds nothing up. Both offer the part of QSerialPort's interface that SerialPort uses, with the
// same errors.
//
// The build names the system's own header (SerialLine_win.h, SerialLine_unix.h).
#include DIALER_SERIAL_LINE
