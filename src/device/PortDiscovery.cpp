// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PortDiscovery.h"

#include "LineSettings.h"

#include <QEventLoop>

PortProbe::PortProbe(QObject *parent)
    : QObject(parent) {}

PortProbe::~PortProbe() {
    cancel();
}

void PortProbe::start(const PortMap& map, int waitMs) {
    if (isRunning())
        return;
    m_map = map;
    m_ports.clear();
    m_results.clear();
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
        ProbedPort entry;
        entry.port = n;
        if (const std::optional<PortMap::Device> device = map.device(n)) {
            entry.devicePath = device->path;
            entry.description = device->description;
        }
        m_results.append(entry);
    }
    m_left = PortMap::LastPort - PortMap::FirstPort + 1;
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
        // One pass: every step is tried even when an earlier one failed; any failure up to the
        // opening keeps the port off the list.
        auto port = std::make_unique<SerialPort>();
        port->setPortMap(map);
        const bool settingsOk = port->setSettings(DialerLine);
        const bool portOk = port->setCommPort(static_cast<qint16>(n));
        const bool thresholdOk = port->setRThreshold(1);
        SerialPort *probe = port.get();
        m_ports.push_back(std::move(port));
        probe->openWithin(waitMs, [this, n, stepsOk = settingsOk && portOk && thresholdOk](
                                      bool opened) { onOpened(n, stepsOk && opened); });
    }
}

void PortProbe::onOpened(int n, bool opened) {
    SerialPort& port = *m_ports[std::size_t(n - PortMap::FirstPort)];
    ProbedPort& entry = m_results[n - PortMap::FirstPort];
    entry.opened = opened;
    if (!opened) {
        entry.error = port.error();
        entry.reason = port.errorString();
    }
    (void)port.setPortOpen(false);
    (void)port.setRThreshold(0);
    --m_left;
    const ProbedPort told = entry;
    Q_EMIT probed(told);
    if (m_left == 0)
        Q_EMIT finished();
}

void PortProbe::cancel() {
    for (const auto& port : m_ports) {
        port->cancelOpening();
        (void)port->setPortOpen(false);
    }
    m_left = 0;
}

QList<ProbedPort> PortDiscovery(SerialPort& port) {
    PortProbe probe;
    QEventLoop loop;
    QObject::connect(&probe, &PortProbe::finished, &loop, &QEventLoop::quit);
    probe.start(port.portMap());
    if (probe.isRunning())
        loop.exec();

    // The line parameters stay in force for the exchanges, and the port is left as the last
    // pass leaves it: closed, receive events off.
    (void)port.setSettings(DialerLine);
    (void)port.setCommPort(PortMap::LastPort);
    (void)port.setRThreshold(0);
    return probe.results();
}
