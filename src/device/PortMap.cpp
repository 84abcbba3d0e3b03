// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PortMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

#ifndef Q_OS_WIN
int deviceGroup(QStringView name) {
    if (name.startsWith(u"ttyUSB"))
        return 0;
    if (name.startsWith(u"ttyACM"))
        return 1;
    return 2;
}
#endif

QStringView unquoted(QStringView value) {
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
        return value.sliced(1, value.size() - 2);
    return value;
}

QList<PortMap::Candidate> qtSerialDevices() {
    QList<PortMap::Candidate> devices;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        devices.append({info.portName(), info.systemLocation(), info.description()});
    return devices;
}

#ifdef Q_OS_LINUX
QString firstLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine(256)).trimmed();
}

// A USB adapter's own attributes (product, manufacturer, serial, idVendor, idProduct) sit on the
// USB device, one level above the tty's device (CDC-ACM) or two (USB serial converters). Empty
// when there is none: a pseudo-terminal, a built-in UART.
QString usbDeviceOf(const QString& ttyDir) {
    for (const char *up : {"/device/..", "/device/../.."}) {
        QString dir = ttyDir + QLatin1String(up);
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor")))
            return dir;
    }
    return {};
}

std::optional<quint16> hexId(const QString& text) {
    bool ok = false;
    const uint id = text.toUInt(&ok, 16);
    return ok && id <= 0xFFFF ? std::optional<quint16>(quint16(id)) : std::nullopt;
}

// Qt's own listing asks udev and takes some 10 ms, a noticeable share of the start-up; sysfs
// answers the same question in a fraction of that. A tty with a device behind it is a serial
// port, except the UART slots the kernel keeps without hardware, whose type is 0 (unknown).
QList<PortMap::Candidate> serialDevices() {
    const QString root = QStringLiteral("/sys/class/tty/");
    const QDir ttys(root);
    if (!ttys.exists())
        return qtSerialDevices();
    QList<PortMap::Candidate> devices;
    const QStringList names =
        ttys.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString tty = root + name;
        if (!QFileInfo::exists(tty + QStringLiteral("/device")) ||
            firstLine(tty + QStringLiteral("/type")) == u"0")
            continue;
        const QString usb = usbDeviceOf(tty);
        devices.append({name, QStringLiteral("/dev/") + name,
                        usb.isEmpty() ? QString() : firstLine(usb + QStringLiteral("/product"))});
    }
    return devices;
}

} // namespace

PortMap::Adapter PortMap::adapterOf(const QString& devicePath) {
    const QString device = QFileInfo(devicePath).canonicalFilePath();
    if (!device.startsWith(u"/dev/"))
        return {};
    const QString usb =
        usbDeviceOf(QStringLiteral("/sys/class/tty/") + QFileInfo(device).fileName());
    if (usb.isEmpty())
        return {};
    return {firstLine(usb + QStringLiteral("/product")),
            firstLine(usb + QStringLiteral("/manufacturer")),
            firstLine(usb + QStringLiteral("/serial")),
            hexId(firstLine(usb + QStringLiteral("/idVendor"))),
            hexId(firstLine(usb + QStringLiteral("/idProduct")))};
}
#else
QList<PortMap::Candidate> serialDevices() {
    return qtSerialDevices();
}

} // namespace

PortMap::Adapter PortMap::adapterOf(const QString& devicePath) {
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        if (info.systemLocation() != devicePath && info.portName() != devicePath)
            continue;
        Adapter adapter{info.description(), info.manufacturer(), info.serialNumber(), std::nullopt,
                        std::nullopt};
        if (info.hasVendorIdentifier())
            adapter.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            adapter.productId = info.productIdentifier();
        return adapter;
    }
    return {};
}
#endif

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
    return fromDevices(serialDevices());
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

PortMap PortMap::fromDevices(QList<Candidate> devices) {
    PortMap map;
#ifdef Q_OS_WIN
    // COMn is the system's own COMn; it need not be present now to be named.
    for (int port = FirstPort; port <= LastPort; ++port)
        map.setDevice(port, {portName(port), {}});
    for (const Candidate& c : devices) {
        if (const std::optional<int> port = portNumber(c.name))
            map.setDevice(*port, {c.path, c.description});
    }
#else
    std::stable_sort(devices.begin(), devices.end(), [](const Candidate& a, const Candidate& b) {
        const int groupA = deviceGroup(a.name);
        const int groupB = deviceGroup(b.name);
        if (groupA != groupB)
            return groupA < groupB;
        return naturalLess(a.name, b.name);
    });
    int port = FirstPort;
    for (const Candidate& c : devices) {
        if (port > LastPort)
            break;
        map.setDevice(port++, {c.path, c.description});
    }
#endif
    if (!map.isEmpty())
        map.m_source = Source::Devices;
    return map;
}

void PortMap::adoptNewDevices(const PortMap& fresh) {
    if (m_source == Source::MapFile || fresh.m_source != Source::Devices)
        return;
    const auto named = [this](const QString& path) {
        return std::any_of(m_ports.begin(), m_ports.end(),
                           [&path](const auto& d) { return d.has_value() && d->path == path; });
    };
    for (const std::optional<Device>& device : fresh.m_ports) {
        if (!device || named(device->path))
            continue;
        const auto free = std::find_if(m_ports.begin() + FirstPort, m_ports.end(),
                                       [](const auto& d) { return !d.has_value(); });
        if (free == m_ports.end())
            return;
        *free = *device;
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
