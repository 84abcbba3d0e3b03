// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PortDiscovery.h"

#include "Opening.h"

#include <array>
#include <memory>

namespace {

// One pass for port n on a port object of its own: set the line parameters, open, close.
ProbedPort probeOne(const PortMap& map, int n) {
    SerialPort port;
    port.setPortMap(map);
    // Every step is tried even when an earlier one failed; any failure up to the opening keeps
    // the port off the list.
    const bool settingsOk = port.setSettings(DialerLine);
    const bool portOk = port.setCommPort(static_cast<qint16>(n));
    const bool thresholdOk = port.setRThreshold(1);
    const bool opened = port.setPortOpen(true);

    ProbedPort result;
    result.port = n;
    result.opened = settingsOk && portOk && thresholdOk && opened;
    if (!result.opened) {
        result.error = port.error();
        result.reason = port.errorString();
    }
    if (const std::optional<PortMap::Device> device = map.device(n)) {
        result.devicePath = device->path;
        result.description = device->description;
    }
    (void)port.setPortOpen(false);
    (void)port.setRThreshold(0);
    return result;
}

} // namespace

QList<ProbedPort> PortDiscovery(SerialPort& port) {
    const PortMap map = port.portMap();
    std::array<std::shared_ptr<TrialOpening>, PortMap::LastPort + 1> trials;
    QList<std::shared_ptr<TrialOpening>> all;
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
        if (const std::optional<PortMap::Device> device = map.device(n)) {
            trials[n] = TrialOpening::start(device->path);
            all << trials[n];
        }
    }
    TrialOpening::waitForAll(all, ProbeWaitMs);

    QList<ProbedPort> probed;
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
        // Nothing to open, or an opening that has returned: the pass itself, at once.
        if (!trials[n] || trials[n]->returned()) {
            probed.append(probeOne(map, n));
            continue;
        }
        const PortMap::Device device = *map.device(n);
        probed.append({n, false, SerialPort::Error::Timeout, openingNotReturned(ProbeWaitMs),
                       device.path, device.description});
    }

    // The line parameters stay in force for the exchanges, and the port is left as the last
    // pass leaves it: closed, receive events off.
    (void)port.setSettings(DialerLine);
    (void)port.setCommPort(PortMap::LastPort);
    (void)port.setRThreshold(0);
    return probed;
}
