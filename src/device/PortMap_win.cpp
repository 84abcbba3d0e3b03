// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The system's COM ports and the numbers they are given on Windows.

#include "PortMap.h"

#include <QSerialPortInfo>

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

PortMap::Numbering PortMap::systemNumbering() {
    return Numbering::ComPorts;
}
