// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PortDiscovery.h"

QList<ProbedPort> PortDiscovery(SerialPort& port) {
    QList<ProbedPort> probed;
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
        // Every step is tried even when an earlier one failed; any failure up to the opening
        // keeps the port off the list.
        const bool settingsOk = port.setSettings(QStringLiteral("115200,N,8,1"));
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
        if (const std::optional<PortMap::Device> device = port.portMap().device(n)) {
            result.devicePath = device->path;
            result.description = device->description;
        }
        probed.append(result);

        (void)port.setPortOpen(false);
        (void)port.setRThreshold(0);
    }
    return probed;
}

int SelectedPortNumber(QStringView selectorText) {
    if (selectorText.size() < 4)
        return 0;
    const char16_t c = selectorText[3].unicode();
    return c >= u'0' && c <= u'9' ? c - u'0' : 0;
}
