// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

// Which device each of the names COM1 to COM9 stands for.
//
// On Windows COMn is the system's COMn wherever that port is present, and the system's ports
// numbered above 9 take the numbers left free, in natural order. Elsewhere the names are given to
// the serial devices present: USB adapters (ttyUSB*) first, then CDC-ACM devices (ttyACM*), then
// the rest, each group in natural order, so a dialer plugged in by USB is COM1. A map file,
// dialer-config/ports.ini in the user's configuration folder, overrides both: when it names any
// port, only those exist.
//
//     [ports]
//     COM1=/dev/ttyUSB0
//     COM3=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
class PortMap {
public:
    static constexpr int FirstPort = 1;
    static constexpr int LastPort = 9;

    // How a device came by its number.
    enum class Naming {
        Given,     // the next free number, or the map file's
        OwnNumber, // the system's own COMn, present
        Assumed,   // the system's own COMn, not seen: a later device may take the number
    };

    struct Device {
        QString path;        // what the serial port layer opens: a device path or a system name
        QString description; // the adapter's own description, where known
        Naming naming = Naming::Given;

        friend bool operator==(const Device&, const Device&) = default;
    };

    enum class Source { None, MapFile, Devices };

    // A serial device as the system lists it.
    struct Candidate {
        QString name; // "ttyUSB0", "COM3"
        QString path; // "/dev/ttyUSB0", "COM3"
        QString description;
    };

    // What the system knows of the adapter behind a device; empty where it knows nothing (a
    // pseudo-terminal, a built-in UART).
    struct Adapter {
        QString description;
        QString manufacturer;
        QString serialNumber;
        std::optional<quint16> vendorId;
        std::optional<quint16> productId;
        QString byId; // a link in /dev/serial/by-id that leads to the device, where one does
    };

    PortMap() = default;

    // "COM3" for 3; and back, any case, for COM1 to COM9 only.
    [[nodiscard]] static QString portName(int port);
    [[nodiscard]] static std::optional<int> portNumber(QStringView name);

    // $XDG_CONFIG_HOME/dialer-config/ports.ini, or the platform's equivalent.
    [[nodiscard]] static QString mapFilePath();

    // The map file when it names any port; otherwise the devices present.
    [[nodiscard]] static PortMap fromSystem();

    // The [ports] section of a map file's text; other sections and keys are ignored.
    [[nodiscard]] static PortMap fromMapText(QStringView text);

    [[nodiscard]] static Adapter adapterOf(const QString& devicePath);

    // How a system names its serial ports, and so how they are numbered.
    enum class Numbering {
        ComPorts,    // Windows: COM1, COM2 ... as the system numbers them
        DeviceFiles, // elsewhere: device files such as /dev/ttyUSB0, numbered here
    };
    [[nodiscard]] static Numbering systemNumbering();

    // Numbers the devices in the order described above, by the given system's rule.
    [[nodiscard]] static PortMap fromDevices(QList<Candidate> devices,
                                             Numbering numbering = systemNumbering());

    // The port a typed name stands for beyond the nine numbers: 12 for "COM12". Nothing for any
    // other text. Such a name is never read by its fourth character as COM1.
    [[nodiscard]] static std::optional<int> systemPortNumber(QStringView text);
    // The device of such a port: on Windows the system's own ("\\.\COM12" for 12); none on
    // systems whose ports have no such names, so that opening it fails, naming the port.
    [[nodiscard]] static std::optional<Device>
    systemDevice(int port, Numbering numbering = systemNumbering());

    // Takes in the devices of a fresh look at the system that this map does not name yet, each
    // under the lowest free number; the ports already named keep their numbers, present or not.
    // A map from the map file is the user's own and stays as it is.
    void adoptNewDevices(const PortMap& fresh);

    void setDevice(int port, Device device);
    [[nodiscard]] std::optional<Device> device(int port) const;
    [[nodiscard]] bool isEmpty() const;
    [[nodiscard]] Source source() const { return m_source; }

private:
    [[nodiscard]] static QList<Candidate> systemDevices();
    [[nodiscard]] static QList<Candidate> qtSerialDevices();
    [[nodiscard]] static PortMap numberDeviceFiles(QList<Candidate> devices);
    [[nodiscard]] static PortMap numberComPorts(const QList<Candidate>& devices);

    std::array<std::optional<Device>, LastPort + 1> m_ports;
    Source m_source = Source::None;
};

// "ttyUSB2" before "ttyUSB10".
[[nodiscard]] bool naturalLess(QStringView a, QStringView b);
