// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PortMap.h"

#include <QFile>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

int deviceGroup(QStringView name) {
    if (name.startsWith(u"ttyUSB"))
        return 0;
    if (name.startsWith(u"ttyACM"))
        return 1;
    return 2;
}

QStringView unquoted(QStringView value) {
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
        return value.sliced(1, value.size() - 2);
    return value;
}

} // namespace

QList<PortMap::Candidate> PortMap::qtSerialDevices() {
    QList<Candidate> devices;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        devices.append({info.portName(), info.systemLocation(), info.description()});
    return devices;
}

bool naturalLess(QStringView a, QStringView b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i;
            const qsizetype startB = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            QStringView numA = a.sliced(startA, i - startA);
            QStringView numB = b.sliced(startB, j - startB);
            while (numA.size() > 1 && numA.front() == u'0')
                numA = numA.sliced(1);
            while (numB.size() > 1 && numB.front() == u'0')
                numB = numB.sliced(1);
            if (numA.size() != numB.size())
                return numA.size() < numB.size();
            if (const int c = numA.compare(numB); c != 0)
                return c < 0;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::optional<int> PortMap::systemPortNumber(QStringView text) {
    text = text.trimmed();
    if (text.size() < 5 || text.first(3).compare(u"COM", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    bool ok = false;
    const int number = text.sliced(3).toInt(&ok, 10);
    if (!ok || !text[3].isDigit() || number <= LastPort || number > 32767)
        return std::nullopt;
    return number;
}

QString PortMap::portName(int port) {
    return QStringLiteral("COM%1").arg(port);
}

std::optional<int> PortMap::portNumber(QStringView name) {
    if (name.size() != 4 || name.first(3).compare(u"COM", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const char16_t digit = name[3].unicode();
    if (digit < u'0' + FirstPort || digit > u'0' + LastPort)
        return std::nullopt;
    return digit - u'0';
}

QString PortMap::mapFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/dialer-config/ports.ini");
}

PortMap PortMap::fromSystem() {
    QFile file(mapFilePath());
    if (file.open(QIODevice::ReadOnly)) {
        PortMap mapped = fromMapText(QString::fromUtf8(file.read(qint64{64} * 1024)));
        if (!mapped.isEmpty())
            return mapped;
    }
    return fromDevices(systemDevices());
}

// A few lines of INI read by hand: QSettings would turn a value holding a comma into a list and
// give backslashes a meaning of their own, and device paths may hold both.
PortMap PortMap::fromMapText(QStringView text) {
    PortMap map;
    bool inPorts = false;
    for (QStringView line : text.split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            inPorts =
                line.sliced(1, line.size() - 2).trimmed().compare(u"ports", Qt::CaseInsensitive) ==
                0;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inPorts || equals < 0)
            continue;
        const std::optional<int> port = portNumber(line.first(equals).trimmed());
        const QStringView path = unquoted(line.sliced(equals + 1).trimmed());
        if (port && !path.isEmpty())
            map.setDevice(*port, {path.toString(), {}});
    }
    if (!map.isEmpty())
        map.m_source = Source::MapFile;
    return map;
}

void PortMap::adoptNewDevices(const PortMap& fresh) {
    if (m_source == Source::MapFile || fresh.m_source != Source::Devices)
        return;
    // A number held only by assumption is free to take.
    const auto taken = [](const std::optional<Device>& d) {
        return d.has_value() && d->naming != Naming::Assumed;
    };
    const auto named = [&](const QString& path) {
        return std::any_of(m_ports.begin(), m_ports.end(), [&](const std::optional<Device>& d) {
            return taken(d) && d->path == path;
        });
    };
    for (int port = FirstPort; port <= LastPort; ++port) {
        const std::optional<Device>& device = fresh.m_ports[static_cast<std::size_t>(port)];
        if (!taken(device) || named(device->path))
            continue;
        // The system's own number where it is free, otherwise the lowest free one.
        auto slot = m_ports.begin() + port;
        if (device->naming != Naming::OwnNumber || taken(*slot))
            slot = std::find_if(m_ports.begin() + FirstPort, m_ports.end(),
                                [&](const std::optional<Device>& d) { return !taken(d); });
        if (slot == m_ports.end())
            return;
        *slot = *device;
        m_source = Source::Devices;
    }
}

void PortMap::setDevice(int port, Device device) {
    if (port < FirstPort || port > LastPort)
        return;
    m_ports[static_cast<std::size_t>(port)] = std::move(device);
}

std::optional<PortMap::Device> PortMap::device(int port) const {
    if (port < FirstPort || port > LastPort)
        return std::nullopt;
    return m_ports[static_cast<std::size_t>(port)];
}

bool PortMap::isEmpty() const {
    return std::none_of(m_ports.begin(), m_ports.end(),
                        [](const std::optional<Device>& d) { return d.has_value(); });
}

// Device files: USB adapters, then CDC-ACM devices, then the rest, each in natural order.
PortMap PortMap::numberDeviceFiles(QList<Candidate> devices) {
    std::stable_sort(devices.begin(), devices.end(), [](const Candidate& a, const Candidate& b) {
        const int groupA = deviceGroup(a.name);
        const int groupB = deviceGroup(b.name);
        if (groupA != groupB)
            return groupA < groupB;
        return naturalLess(a.name, b.name);
    });
    PortMap map;
    int port = FirstPort;
    for (const Candidate& c : devices) {
        if (port > LastPort)
            break;
        map.setDevice(port++, {c.path, c.description});
    }
    if (!map.isEmpty())
        map.m_source = Source::Devices;
    return map;
}

// COMn up to 9 is the system's own COMn. The ports numbered above 9 that are present take the
// numbers no present port holds, in natural order; a number still free names the system's COMn,
// which need not be present now to be opened.
PortMap PortMap::numberComPorts(const QList<Candidate>& devices) {
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
    for (const Candidate& c : std::as_const(beyond)) {
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

PortMap PortMap::fromDevices(QList<Candidate> devices, Numbering numbering) {
    return numbering == Numbering::ComPorts ? numberComPorts(devices)
                                            : numberDeviceFiles(std::move(devices));
}

std::optional<PortMap::Device> PortMap::systemDevice(int port, Numbering numbering) {
    // Only COM port names go beyond the nine: device files have no such names.
    if (numbering != Numbering::ComPorts || port <= LastPort || port > 32767)
        return std::nullopt;
    return Device{QStringLiteral("\\\\.\\COM%1").arg(port), {}};
}
