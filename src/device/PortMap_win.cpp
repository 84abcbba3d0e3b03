// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The system's COM ports and the numbers they are given on Windows.

#include "PortMap.h"

#include <QSerialPortInfo>

#include <algorithm>

QList<PortMap::Candidate> PortMap::systemDevices() {
    return qtSerialDevices();
}

PortMap::Adapter PortMap::adapterOf(const QString& devicePath) {
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        if (info.systemLocation() != devicePath && info.portName() != devicePath)
            continue;
        Adapter adapter{info.description(), info.manufacturer(), info.serialNumber(),
                        std::nullopt,       std::nullopt,        {}};
        if (info.hasVendorIdentifier())
            adapter.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            adapter.productId = info.productIdentifier();
        return adapter;
    }
    return {};
}

// COMn up to 9 is the system's own COMn. The ports numbered above 9 that are present take the
// numbers no present port holds, in natural order; a number still free names the system's COMn,
// which need not be present now to be opened.
PortMap PortMap::fromDevices(QList<Candidate> devices) {
    PortMap map;
    QList<Candidate> beyond;
    for (const Candidate& c : devices) {
        if (const std::optional<int> port = portNumber(c.name))
            map.setDevice(*port, {c.path, c.description, Naming::OwnNumber});
        else if (systemPortNumber(c.name))
            beyond.append(c);
    }
    std::stable_sort(beyond.begin(), beyond.end(), [](const Candidate& a, const Candidate& b) {
        return naturalLess(a.name, b.name);
    });
    int port = FirstPort;
    for (const Candidate& c : beyond) {
        while (port <= LastPort && map.device(port))
            ++port;
        if (port > LastPort)
            break;
        map.setDevice(port, {c.path, c.description});
    }
    for (port = FirstPort; port <= LastPort; ++port) {
        if (!map.device(port))
            map.setDevice(port, {portName(port), {}, Naming::Assumed});
    }
    map.m_source = Source::Devices;
    return map;
}

std::optional<PortMap::Device> PortMap::systemDevice(int port) {
    if (port <= LastPort || port > 32767)
        return std::nullopt;
    return Device{QStringLiteral("\\\\.\\COM%1").arg(port), {}};
}
