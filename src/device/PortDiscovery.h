// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "SerialPort.h"

#include <QList>
#include <QObject>

#include <memory>
#include <vector>

struct ProbedPort {
    int port = 0; // 1 to 9
    bool opened = false;
    SerialPort::Error error = SerialPort::Error::None;
    QString reason;     // why it did not open
    QString devicePath; // the device the map names, if any
    QString description;
};

// How long the probe waits for an opening. An opening can hang for seconds (a Bluetooth serial
// link, an rfcomm device connecting): such a port is left out rather than waited for.
inline constexpr int ProbeWaitMs = 400;

// Tries COM1 to COM9 of a port map once each, all at once and each on a port object of its own:
// set the line parameters, open, close. Every failure is taken as "not offered"; no port is left
// open. Nothing waits: each port is told through probed() as soon as it is known (a port without
// a device at once, the others as their openings return), one whose opening has not returned
// within the wait as not opened (Timeout), and finished() follows the last.
class PortProbe : public QObject {
    Q_OBJECT

public:
    explicit PortProbe(QObject *parent = nullptr);
    ~PortProbe() override;

    // Starts a probe of the map's ports, unless one is running.
    void start(const PortMap& map, int waitMs = ProbeWaitMs);
    // Stops a probe under way: nothing more is told, and no port stays open.
    void cancel();
    [[nodiscard]] bool isRunning() const { return m_left > 0; }
    // One entry per port number, in ascending order, once finished.
    [[nodiscard]] const QList<ProbedPort>& results() const { return m_results; }

Q_SIGNALS:
    void probed(const ProbedPort& port);
    void finished();

private:
    void onOpened(int n, bool opened);

    PortMap m_map;
    std::vector<std::unique_ptr<SerialPort>> m_ports;
    QList<ProbedPort> m_results;
    int m_left = 0;
};

// The probe for a caller with nothing else to do meanwhile (a command-line run): waits here, in
// an event loop of its own, until every port is known. The given port takes the map's ports and
// is left with the line parameters set, CommPort 9 and receive events off.
[[nodiscard]] QList<ProbedPort> PortDiscovery(SerialPort& port);
