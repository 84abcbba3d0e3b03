// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "SerialPort.h"

#include <QList>

struct ProbedPort {
    int port = 0; // 1 to 9
    bool opened = false;
    SerialPort::Error error = SerialPort::Error::None;
    QString reason;     // why it did not open
    QString devicePath; // the device the map names, if any
    QString description;
};

// How long the probe waits for the openings. An opening can hang for seconds (a Bluetooth serial
// link, an rfcomm device connecting): such a port is left out rather than holding up the window.
inline constexpr int ProbeWaitMs = 400;

// Tries COM1 to COM9 of the port's map once each: set the line parameters, open, close. Every
// failure is taken as "not offered"; no port is left open. Each device is first tried apart, all
// at once (TrialOpening), and one whose trial has not returned within ProbeWaitMs is reported as
// not opened (Timeout) and not opened here; until its trial returns, no probe tries it again. The
// result has one entry per port number, in ascending order. The given port is left with the line
// parameters set, CommPort 9 and receive events off.
[[nodiscard]] QList<ProbedPort> PortDiscovery(SerialPort& port);
