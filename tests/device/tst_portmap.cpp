// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "device/PortMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// COM1 to COM9 as "n=path" strings, for comparing maps in one line.
QStringList describe(const PortMap& map) {
    QStringList rows;
    for (int n = 1; n <= 9; ++n)
        if (const auto device = map.device(n))
            rows << QString("%1=%2").arg(n).arg(device->path);
    return rows;
}

} // namespace

class PortMapTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mapFileNamesThePorts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("two ports") << "[ports]\nCOM1=/dev/ttyUSB0\nCOM3=/dev/serial/by-id/usb-x\n"
                                   << QStringList{"1=/dev/ttyUSB0", "3=/dev/serial/by-id/usb-x"};
        QTest::newRow("CR LF, blanks, comments, quotes")
            << "; dialer\r\n[ports]\r\n  COM2 = \"/dev/pts/7\" \r\n# COM3=/dev/x\r\n"
            << QStringList{"2=/dev/pts/7"};
        QTest::newRow("keys and section in any case") << "[Ports]\ncom4=/dev/a\nCom5=/dev/b\n"
                                                      << QStringList{"4=/dev/a", "5=/dev/b"};
        QTest::newRow("paths with commas and backslashes")
            << "[ports]\nCOM1=/dev/odd,name\nCOM2=\\\\.\\COM12\n"
            << QStringList{"1=/dev/odd,name", "2=\\\\.\\COM12"};
        QTest::newRow("only the ports section counts")
            << "[other]\nCOM1=/dev/no\n[ports]\nCOM2=/dev/yes\n[more]\nCOM3=/dev/no\n"
            << QStringList{"2=/dev/yes"};
        QTest::newRow("numbers outside 1 to 9 and empty values are ignored")
            << "[ports]\nCOM0=/dev/a\nCOM10=/dev/b\nCOM=/dev/c\nCOM6=\nCOM7=/dev/d\n"
            << QStringList{"7=/dev/d"};
        QTest::newRow("a later line wins") << "[ports]\nCOM1=/dev/a\nCOM1=/dev/b\n"
                                           << QStringList{"1=/dev/b"};
        QTest::newRow("nothing named") << "[ports]\n" << QStringList();
        QTest::newRow("not a map at all") << QString("\x01\x02 garbage=") << QStringList();
    }
    void mapFileNamesThePorts() {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        const PortMap map = PortMap::fromMapText(text);
        QCOMPARE(describe(map), expected);
        QCOMPARE(map.source(),
                 expected.isEmpty() ? PortMap::Source::None : PortMap::Source::MapFile);
    }

    // Device files (Linux): USB adapters first, then CDC-ACM devices, then the rest.
    void devicesAreNumberedUsbFirstInNaturalOrder_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("USB, then ACM, then the rest")
            << QStringList{"ttyS0", "ttyACM0", "ttyUSB1", "ttyUSB0", "ttyAMA0"}
            << QStringList{"1=/dev/ttyUSB0", "2=/dev/ttyUSB1", "3=/dev/ttyACM0", "4=/dev/ttyAMA0",
                           "5=/dev/ttyS0"};
        QTest::newRow("natural order within a group")
            << QStringList{"ttyUSB10", "ttyUSB2", "ttyS10", "ttyS9"}
            << QStringList{"1=/dev/ttyUSB2", "2=/dev/ttyUSB10", "3=/dev/ttyS9", "4=/dev/ttyS10"};
        QStringList twelve;
        for (int i = 0; i < 12; ++i)
            twelve << QString("ttyUSB%1").arg(i);
        QTest::newRow("only nine get a name")
            << twelve << QStringList{"1=/dev/ttyUSB0", "2=/dev/ttyUSB1", "3=/dev/ttyUSB2",
                                     "4=/dev/ttyUSB3", "5=/dev/ttyUSB4", "6=/dev/ttyUSB5",
                                     "7=/dev/ttyUSB6", "8=/dev/ttyUSB7", "9=/dev/ttyUSB8"};
        QTest::newRow("none") << QStringList() << QStringList();
    }
    void devicesAreNumberedUsbFirstInNaturalOrder() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, expected);
        QList<PortMap::Candidate> devices;
        for (const QString& name : names)
            devices.append({name, "/dev/" + name, {}});
        QCOMPARE(describe(PortMap::fromDevices(devices, PortMap::Numbering::DeviceFiles)),
                 expected);
    }

    // COMn up to 9 keeps its own number where present; the ports above 9 take the free numbers in
    // natural order; a number still free names the system's own COMn. A later look adds new
    // ports without moving those already numbered.
    void systemPortsAboveNineTakeTheFreeNumbers_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("later");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("COM12 and COM15 beside COM1")
            << QStringList{"COM15", "COM1", "COM12"} << QStringList{}
            << QStringList{"1=\\\\.\\COM1", "2=\\\\.\\COM12", "3=\\\\.\\COM15", "4=COM4", "5=COM5",
                           "6=COM6",        "7=COM7",         "8=COM8",         "9=COM9"};
        QTest::newRow("COM10 before COM12, around own numbers")
            << QStringList{"COM12", "COM2", "COM10", "COM3"} << QStringList{}
            << QStringList{"1=\\\\.\\COM10", "2=\\\\.\\COM2", "3=\\\\.\\COM3",
                           "4=\\\\.\\COM12", "5=COM5",        "6=COM6",
                           "7=COM7",         "8=COM8",        "9=COM9"};
        QTest::newRow("plugged in later: own number where free, else the lowest free")
            << QStringList{"COM12"} << QStringList{"COM12", "COM5", "COM1", "COM20"}
            << QStringList{"1=\\\\.\\COM12", "2=\\\\.\\COM1", "3=\\\\.\\COM20",
                           "4=COM4",         "5=\\\\.\\COM5", "6=COM6",
                           "7=COM7",         "8=COM8",        "9=COM9"};
    }
    void systemPortsAboveNineTakeTheFreeNumbers() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, later);
        QFETCH(QStringList, expected);
        const auto candidates = [](const QStringList& list) {
            QList<PortMap::Candidate> devices;
            for (const QString& name : list)
                devices.append({name, "\\\\.\\" + name, {}});
            return devices;
        };
        constexpr auto ComPorts = PortMap::Numbering::ComPorts;
        PortMap map = PortMap::fromDevices(candidates(names), ComPorts);
        if (!later.isEmpty())
            map.adoptNewDevices(PortMap::fromDevices(candidates(later), ComPorts));
        QCOMPARE(describe(map), expected);
    }

    // A typed name beyond the nine is the system's own port where the system has such names
    // (Windows), and nothing elsewhere, where the fourth character alone counts.
    void typedNameBeyondNineIsTheSystemsPort_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        const int com12 = 12;
        QTest::newRow("COM12") << "COM12" << com12;
        QTest::newRow("com12, leading zero") << "com012" << com12;
        QTest::newRow("COM9 is one of the nine") << "COM9" << 0;
        QTest::newRow("COM1x") << "COM1x" << 0;
        QTest::newRow("COM 12") << "COM 12" << 0;
        QTest::newRow("COM+12") << "COM+12" << 0;
    }
    void typedNameBeyondNineIsTheSystemsPort() {
        QFETCH(QString, text);
        QFETCH(int, port);
        QCOMPARE(PortMap::systemPortNumber(text).value_or(0), port);
        // Such a number opens the system's port of that name on Windows, and nothing elsewhere.
        QCOMPARE(PortMap::systemDevice(12, PortMap::Numbering::ComPorts)->path,
                 QString("\\\\.\\COM12"));
        QVERIFY(!PortMap::systemDevice(12, PortMap::Numbering::DeviceFiles));
    }

    void mapFileInTheUsersConfigurationFolderTakesPrecedence() {
#ifdef Q_OS_WIN
        // The user's local application data folder, here the test's own copy of it.
        QStandardPaths::setTestModeEnabled(true);
        const QString folder = QFileInfo(PortMap::mapFilePath()).absolutePath();
        QVERIFY(PortMap::mapFilePath().endsWith("/dialer-config/ports.ini"));
        QVERIFY(QDir().mkpath(folder));
#else
        QTemporaryDir config;
        const QByteArray before = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        QCOMPARE(PortMap::mapFilePath(), config.filePath("dialer-config/ports.ini"));
        QVERIFY(QDir(config.path()).mkpath("dialer-config"));
#endif
        QFile file(PortMap::mapFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[ports]\nCOM5=/dev/pts/99\nCOM6=COM12\n");
        file.close();
        const PortMap map = PortMap::fromSystem();
#ifdef Q_OS_WIN
        QVERIFY(file.remove());
        QStandardPaths::setTestModeEnabled(false);
#else
        qputenv("XDG_CONFIG_HOME", before);
#endif
        QCOMPARE(describe(map), (QStringList{"5=/dev/pts/99", "6=COM12"}));
    }

    void naturalOrderComparesNumbersByValue_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("less");
        QTest::newRow("2 < 10") << "ttyUSB2"
                                << "ttyUSB10" << true;
        QTest::newRow("10 > 2") << "ttyUSB10"
                                << "ttyUSB2" << false;
        QTest::newRow("leading zeros") << "tty007"
                                       << "tty8" << true;
        QTest::newRow("prefix first") << "tty"
                                      << "tty0" << true;
        QTest::newRow("equal") << "ttyS1"
                               << "ttyS1" << false;
        QTest::newRow("letters") << "ttyA"
                                 << "ttyB" << true;
    }
    void naturalOrderComparesNumbersByValue() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, less);
        QCOMPARE(naturalLess(a, b), less);
    }
};

QTEST_GUILESS_MAIN(PortMapTest)
#include "tst_portmap.moc"
