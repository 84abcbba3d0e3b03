// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The serial devices of Linux and the numbers they are given.

#include "PortMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

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

} // namespace

// Qt's own listing asks udev and takes some 10 ms, a noticeable share of the start-up; sysfs
// answers the same question in a fraction of that. A tty with a device behind it is a serial
// port, except the UART slots the kernel keeps without hardware, whose type is 0 (unknown).
QList<PortMap::Candidate> PortMap::systemDevices() {
    const QString root = QStringLiteral("/sys/class/tty/");
    const QDir ttys(root);
    if (!ttys.exists())
        return qtSerialDevices();
    QList<Candidate> devices;
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

PortMap::Adapter PortMap::adapterOf(const QString& devicePath) {
    const QString device = QFileInfo(devicePath).canonicalFilePath();
    if (!device.startsWith(u"/dev/"))
        return {};
    const QString usb =
        usbDeviceOf(QStringLiteral("/sys/class/tty/") + QFileInfo(device).fileName());
    if (usb.isEmpty())
        return {};
    Adapter adapter{firstLine(usb + QStringLiteral("/product")),
                    firstLine(usb + QStringLiteral("/manufacturer")),
                    firstLine(usb + QStringLiteral("/serial")),
                    hexId(firstLine(usb + QStringLiteral("/idVendor"))),
                    hexId(firstLine(usb + QStringLiteral("/idProduct"))),
                    {}};
    // udev names each USB serial device by its adapter there; the name survives replugging.
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files)) {
        if (link.canonicalFilePath() == device) {
            adapter.byId = link.filePath();
            break;
        }
    }
    return adapter;
}

PortMap::Numbering PortMap::systemNumbering() {
    return Numbering::DeviceFiles;
}
