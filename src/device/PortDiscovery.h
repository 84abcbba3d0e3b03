// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "SerialPort.h"

#include <QList>
#include <QStringView>

#include <memory>

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

// "порт не открылся за 0,4 с: …": an opening that had not returned after so many milliseconds.
[[nodiscard]] QString openingNotReturned(int waitMs);

// One opening of port n of a map as the probe makes it (open, close), on a thread of its own, so
// that an opening that hangs holds up nobody. A device whose opening has not returned yet, from a
// probe or an earlier trial, is not opened a second time: the trial waits for that one instead.
class TrialOpening {
public:
    [[nodiscard]] static std::shared_ptr<TrialOpening> start(const PortMap& map, int port);
    // Whether the opening has returned; thread-safe.
    [[nodiscard]] bool returned() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// Tries COM1 to COM9 of the port's map once each: set the line parameters, open, close. Every
// failure is taken as "not offered"; no port is left open. The openings run side by side, each on
// a thread of its own, and a port whose opening has not returned within ProbeWaitMs is reported
// as not opened (Timeout); its thread closes it when the opening returns, and until then no probe
// opens that device again. The result has one entry per port number, in ascending order. The
// given port is left with the line parameters set, CommPort 9 and receive events off.
[[nodiscard]] QList<ProbedPort> PortDiscovery(SerialPort& port);

// The port number the selector's text names: its fourth character alone, when it is a decimal
// digit; otherwise 0. "COM3" gives 3, "COM12" gives 1, "COM 4" and "COM" give 0.
[[nodiscard]] int SelectedPortNumber(QStringView selectorText);
