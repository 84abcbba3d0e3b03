// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Targets.h"

#include "device/DeviceAccess.h"
#include "device/PortDiscovery.h"
#include "device/SerialPort.h"

#include <QFileInfo>

namespace dialerctl {

namespace {

// The same device under another name (a by-id link, COM1 and its path) is the same device.
QString identity(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

QList<ProbedPort> probe(const PortMap& map) {
    SerialPort port;
    port.setPortMap(map);
    return PortDiscovery(port);
}

} // namespace

QList<Target> selectPorts(const QStringList& names, const PortMap& map) {
    QList<Target> selection;
    QList<Target> numbered;
    QList<Target> paths;
    const QStringList wanted = names.isEmpty() ? QStringList{QStringLiteral("all")} : names;
    for (const QString& name : wanted) {
        if (name.trimmed().compare(u"all", Qt::CaseInsensitive) == 0) {
            // A port the map names that is there but did not open now (busy, denied) stays
            // selected: its exchange reports why, rather than the port vanishing from the run.
            for (const ProbedPort& probed : probe(map)) {
                if (probed.opened ||
                    (!probed.devicePath.isEmpty() && probed.error != SerialPort::Error::NoSuchPort))
                    numbered.append(
                        {PortMap::portName(probed.port), probed.devicePath, probed.port});
            }
        } else if (const std::optional<int> number = PortMap::portNumber(name)) {
            // A number the map leaves empty stays selected: its exchange fails like the window's.
            const std::optional<PortMap::Device> device = map.device(*number);
            numbered.append(
                {PortMap::portName(*number), device ? device->path : QString(), *number});
        } else if (const std::optional<int> beyond = PortMap::systemPortNumber(name);
                   beyond && !PortMap::systemDevice(*beyond)) {
            // A COM name beyond the nine where the system has no such ports: its exchange fails
            // naming it, as the window's does, and never reaches COM1.
            numbered.append({PortMap::portName(*beyond), QString(), *beyond});
        } else {
            paths.append({name, name, 0});
        }
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const Target& a, const Target& b) { return a.number < b.number; });
    QStringList seen;
    for (const Target& target : numbered + paths) {
        const QString id = target.device.isEmpty() ? target.port : identity(target.device);
        if (seen.contains(id))
            continue;
        seen << id;
        selection << target;
    }
    return selection;
}

QList<PortState> listPorts(const PortMap& map) {
    QList<PortState> states;
    for (const ProbedPort& probed : probe(map)) {
        if (probed.devicePath.isEmpty())
            continue;
        PortState state;
        state.target = {PortMap::portName(probed.port), probed.devicePath, probed.port};
        switch (probed.error) {
        case SerialPort::Error::None:
            state.state = QStringLiteral("free");
            break;
        case SerialPort::Error::Busy:
            state.state = QStringLiteral("busy");
            break;
        case SerialPort::Error::PermissionDenied:
            state.state = QStringLiteral("denied");
            if (const std::optional<DeviceAccess::Denial> denial =
                    DeviceAccess::denial(probed.devicePath))
                state.group = denial->group;
            break;
        case SerialPort::Error::NoSuchPort:
            state.state = QStringLiteral("missing");
            break;
        default:
            state.state = QStringLiteral("error");
            break;
        }
        if (!probed.opened)
            state.reason = probed.reason;
        state.adapter = PortMap::adapterOf(probed.devicePath);
        if (state.adapter.description.isEmpty())
            state.adapter.description = probed.description;
        states << state;
    }
    return states;
}

} // namespace dialerctl
