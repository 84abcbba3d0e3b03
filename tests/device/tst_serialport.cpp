// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "DialerSimulator.h"
#include "device/PortDiscovery.h"
#include "device/SerialPort.h"
#include "text/AnsiText.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "RussianText.h"
#include "Unprivileged.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

class SerialPortTest : public QObject {
    Q_OBJECT

    // A port whose COM1 is the simulator.
    static void mapTo(SerialPort& port, const DialerSimulator& device, int n = 1) {
        PortMap map;
        map.setDevice(n, {device.portPath(), {}});
        port.setPortMap(map);
    }

    static void openOn(SerialPort& port, const DialerSimulator& device) {
        mapTo(port, device);
        QVERIFY(port.setSettings("115200,N,8,1"));
        QVERIFY(port.setCommPort(1));
        QVERIFY(port.setRThreshold(1));
        QVERIFY2(port.setPortOpen(true), qPrintable(port.errorString()));
    }

private Q_SLOTS:
    void lineSettingsText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("the dialer's") << "115200,N,8,1" << true;
        QTest::newRow("even, 7, 2") << "9600,E,7,2" << true;
        QTest::newRow("lower case, 1.5") << "115200,n,8,1.5" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("three parts") << "115200,N,8" << false;
        QTest::newRow("bad parity") << "115200,X,8,1" << false;
        QTest::newRow("nine data bits") << "115200,N,9,1" << false;
        QTest::newRow("zero baud") << "0,N,8,1" << false;
        QTest::newRow("three stop bits") << "115200,N,8,3" << false;
    }
    void lineSettingsText() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        SerialPort port;
        QCOMPARE(port.setSettings(text), valid);
        if (valid)
            QCOMPARE(port.Settings(), text);
        else
            QCOMPARE(port.error(), SerialPort::Error::InvalidValue);
    }

    void opensWithTheLineParametersAndRestoresTheLineOnClose() {
        DialerSimulator device;
        QVERIFY(device.open());
        termios before{};
        QVERIFY(device.lineModes(&before));
        SerialPort port;
        openOn(port, device);
        termios open{};
        QVERIFY(device.lineModes(&open));
        QCOMPARE(cfgetospeed(&open), speed_t(B115200));
        QCOMPARE(cfgetispeed(&open), speed_t(B115200));
        QCOMPARE(open.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(open.c_cflag & PARENB, tcflag_t(0));
        QCOMPARE(open.c_cflag & CSTOPB, tcflag_t(0));
        QCOMPARE(open.c_cflag & CRTSCTS, tcflag_t(0));
        QCOMPARE(open.c_iflag & (IGNPAR | INPCK | PARMRK | IXON | IXOFF), tcflag_t(IGNPAR));
        QVERIFY(port.setPortOpen(false));
        QVERIFY(!port.PortOpen());
        termios after{};
        QVERIFY(device.lineModes(&after));
        QCOMPARE(after.c_cflag, before.c_cflag);
        QCOMPARE(after.c_iflag, before.c_iflag);
        QCOMPARE(after.c_oflag, before.c_oflag);
        QCOMPARE(after.c_lflag, before.c_lflag);
        QCOMPARE(cfgetospeed(&after), cfgetospeed(&before));
    }

    void outputGoesOutByteForByte() {
        DialerSimulator device;
        QVERIFY(device.open());
        device.setBehaviour({.silent = true});
        SerialPort port;
        openOn(port, device);
        QVERIFY(port.setOutput(QString("!Я,\x01,\r\n")));
        QTRY_COMPARE(device.received(), QByteArray("!\xdf,\x01,\r\n"));
        QVERIFY(!port.setOutput(QString::fromUtf16(u"\u4e2d")));
        QCOMPARE(port.error(), SerialPort::Error::InvalidValue);
    }

    void receivedCharactersRaiseOnComm() {
        DialerSimulator device;
        QVERIFY(device.open());
        SerialPort port;
        openOn(port, device);
        QSignalSpy events(&port, &SerialPort::OnComm);
        device.send("ab\xc4");
        QVERIFY(events.wait(1000));
        QCOMPARE(port.commEvent(), SerialPort::CommEvent::Receive);
        QTRY_COMPARE(port.InBufferCount(), qint16(3));
        QCOMPARE(port.Input(), QString("abД"));
        QCOMPARE(port.Input(), QString());
        QVERIFY(port.setInputLen(2));
        device.send("xyz");
        QTRY_COMPARE(port.InBufferCount(), qint16(3));
        QCOMPARE(port.Input(), QString("xy"));
        QCOMPARE(port.Input(), QString("z"));
    }

    void noReceiveEventsWithThresholdZero() {
        DialerSimulator device;
        QVERIFY(device.open());
        SerialPort port;
        openOn(port, device);
        QVERIFY(port.setRThreshold(0));
        QSignalSpy events(&port, &SerialPort::OnComm);
        device.send("abc");
        QTRY_COMPARE(port.InBufferCount(), qint16(3));
        QCOMPARE(events.size(), 0);
    }

    void inputFromBeforeTheOpeningIsDiscarded() {
        DialerSimulator device;
        QVERIFY(device.open());
        device.send("stale reply\r\n");
        SerialPort port;
        QVERIFY(port.setInBufferCount(0)); // accepted while closed
        openOn(port, device);
        QTest::qWait(50);
        QCOMPARE(port.InBufferCount(), qint16(0));
        QCOMPARE(port.Input(), QString());
        device.send("new");
        QTRY_COMPARE(port.InBufferCount(), qint16(3));
        QVERIFY(port.setInBufferCount(0));
        QCOMPARE(port.Input(), QString());
    }

    void someWritesNeedAClosedPort() {
        DialerSimulator device;
        QVERIFY(device.open());
        SerialPort port;
        openOn(port, device);
        QVERIFY(!port.setCommPort(2));
        QCOMPARE(port.error(), SerialPort::Error::NotWhileOpen);
        QCOMPARE(port.CommPort(), qint16(1));
        QVERIFY(!port.setInBufferSize(100));
        QVERIFY(!port.setPortOpen(true));
        QVERIFY(port.setInputLen(0)); // accepted either way
        QVERIFY(port.setPortOpen(false));
        QVERIFY(port.setInBufferSize(0));
        QVERIFY(port.setInBufferSize(100));
        QVERIFY(!port.setOutput("x"));
        QCOMPARE(port.error(), SerialPort::Error::NotOpen);
    }

    void portIsOpenedExclusively() {
        DialerSimulator device;
        QVERIFY(device.open());
        SerialPort port;
        openOn(port, device);
        QSerialPort other(device.portPath());
        QVERIFY(!other.open(QIODevice::ReadWrite));
        QVERIFY(port.setPortOpen(false));
        QVERIFY(other.open(QIODevice::ReadWrite));
    }

    // A held port stays taken between its exchanges; what arrives meanwhile belongs to none.
    void heldPortStaysTakenBetweenExchanges() {
        DialerSimulator device;
        QVERIFY(device.open());
        SerialPort port;
        port.setHeld(true);
        openOn(port, device);
        QVERIFY(port.setPortOpen(false));
        QVERIFY(!port.PortOpen());
        QSerialPort other(device.portPath());
        QVERIFY(!other.open(QIODevice::ReadWrite));
        QSignalSpy events(&port, &SerialPort::OnComm);
        device.send("late");
        QTest::qWait(50);
        QCOMPARE(events.count(), 0);
        QVERIFY2(port.setPortOpen(true), qPrintable(port.errorString()));
        QCOMPARE(port.Input(), QString());
        QVERIFY(port.setOutput("?6\r\n"));
        QTRY_COMPARE(device.received(), QByteArray("?6\r\n"));
        QVERIFY(port.setPortOpen(false));
        port.setHeld(false);
        QVERIFY(other.open(QIODevice::ReadWrite));
    }

    void openingFailuresNameTheReason_data() {
        QTest::addColumn<int>("commPort");
        QTest::addColumn<QString>("mappedPath");
        QTest::addColumn<QString>("holdBy"); // how another program names the device it holds
        QTest::addColumn<SerialPort::Error>("error");
        QTest::newRow("port not in the map") << 2 << ""
                                             << "" << SerialPort::Error::NoSuchPort;
        QTest::newRow("port 0") << 0 << ""
                                << "" << SerialPort::Error::NoSuchPort;
        QTest::newRow("device missing") << 1 << "/dev/no-such-dialer"
                                        << "" << SerialPort::Error::NoSuchPort;
        QTest::newRow("held by another program") << 1 << ""
                                                 << "path" << SerialPort::Error::Busy;
        // Its lock file is under the link's name; TIOCEXCL, which root passes, still tells.
        QTest::newRow("held by another program through a link")
            << 1 << ""
            << "link" << SerialPort::Error::Busy;
        QTest::newRow("not a serial port") << 1 << "/dev/null"
                                           << "" << SerialPort::Error::Io;
    }
    void openingFailuresNameTheReason() {
        QFETCH(int, commPort);
        QFETCH(QString, mappedPath);
        QFETCH(QString, holdBy);
        QFETCH(SerialPort::Error, error);
        DialerSimulator device;
        QVERIFY(device.open());
        QTemporaryDir links;
        const QString link = links.filePath("by-id-dialer");
        QVERIFY(QFile::link(device.portPath(), link));
        QSerialPort holder(holdBy == "link" ? link : device.portPath());
        if (!holdBy.isEmpty())
            QVERIFY(holder.open(QIODevice::ReadWrite));
        SerialPort port;
        PortMap map;
        map.setDevice(1, {mappedPath.isEmpty() ? device.portPath() : mappedPath, {}});
        port.setPortMap(map);
        QVERIFY(port.setCommPort(qint16(commPort)));
        QVERIFY(!port.setPortOpen(true));
        QCOMPARE(port.error(), error);
        QVERIFY(!port.errorString().isEmpty());
        QCOMPARE(foreignWords(port.errorString(), {mappedPath, device.portPath()}), QStringList());
        QVERIFY(!port.PortOpen());
        QVERIFY(port.portLabel().startsWith(QString("COM%1").arg(commPort)));
    }

    // A user outside the device's group learns which group to join, where joining one would help;
    // otherwise to ask the administrator. Root's group is never named.
    void deniedDeviceSaysWhatWouldHelp_data() {
        QTest::addColumn<mode_t>("mode");
        QTest::addColumn<gid_t>("group");
        QTest::addColumn<bool>("joinHelps");
        const group *dialout = getgrnam("dialout");
        const gid_t users = dialout ? dialout->gr_gid : gid_t{5};
        QTest::newRow("group may read and write") << mode_t{0660} << users << true;
        QTest::newRow("group may not") << mode_t{0600} << users << false;
        QTest::newRow("root's group") << mode_t{0660} << gid_t{0} << false;
    }
    void deniedDeviceSaysWhatWouldHelp() {
        QFETCH(mode_t, mode);
        QFETCH(gid_t, group);
        QFETCH(bool, joinHelps);
        DialerSimulator device;
        QVERIFY(device.open());
        const QByteArray path = QFile::encodeName(device.portPath());
        QVERIFY(chmod(path.constData(), mode) == 0);
        QVERIFY(chown(path.constData(), uid_t(-1), group) == 0);
        const QString name = QFileInfo(device.portPath()).group();
        const int code = runUnprivileged([&] {
            SerialPort port;
            mapTo(port, device);
            if (port.setPortOpen(true) || port.error() != SerialPort::Error::PermissionDenied)
                return 1;
            const QString told = port.errorString();
            const bool named = told.contains(QString("«%1»").arg(name));
            const bool administrator = told.contains("администратора");
            return named == joinHelps && administrator != joinHelps &&
                           foreignWords(told, {device.portPath(), name}).isEmpty()
                       ? 0
                       : 2;
        });
        QCOMPARE(code, 0);
    }

    // The device gone (the far end closed: reads fail) and the line hung up (reads return end of
    // file, as a USB device off the bus leaves it) are each the port lost, reported once. A read
    // that returns nothing on a line still up (another program, as root, set VMIN 0, as Qt Serial
    // Port does) is silence.
    void hangUpIsReportedOnceAndKeepsWhatArrived_data() {
        QTest::addColumn<QString>("disturbance");
        QTest::newRow("far end gone") << "vanish";
        QTest::newRow("line hung up") << "hang up";
        QTest::newRow("VMIN 0 set by another program") << "vmin 0";
    }
    void hangUpIsReportedOnceAndKeepsWhatArrived() {
        QFETCH(QString, disturbance);
        DialerSimulator device;
        QVERIFY(device.open());
        SerialPort port;
        openOn(port, device);
        QString collected;
        int lost = 0;
        int events = 0;
        connect(&port, &SerialPort::OnComm, this, [&] {
            ++events;
            if (port.commEvent() == SerialPort::CommEvent::Lost)
                ++lost;
            collected += port.Input();
        });
        device.send("!1,2,");
        QTRY_COMPARE(collected, QString("!1,2,"));
        if (disturbance == "vanish") {
            device.vanish();
        } else {
            // What the kernel does to a line whose device has left: every opener is hung up.
            const int line = ::open(QFile::encodeName(device.portPath()).constData(),
                                    O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (line < 0)
                QSKIP("the port is taken exclusively: only root opens it again");
            termios modes{};
            if (disturbance == "vmin 0") {
                QVERIFY(::tcgetattr(line, &modes) == 0);
                modes.c_cc[VMIN] = 0;
                QVERIFY(::tcsetattr(line, TCSANOW, &modes) == 0);
            } else {
                QVERIFY2(::ioctl(line, TIOCVHANGUP) == 0, strerror(errno));
            }
            ::close(line);
        }
        if (disturbance == "vmin 0") {
            device.send("3,");
            QTRY_COMPARE(collected, QString("!1,2,3,"));
            QTest::qWait(100);
            QCOMPARE(lost, 0);
            QVERIFY(port.PortOpen());
            return;
        }
        QTRY_VERIFY(!port.PortOpen());
        QTest::qWait(100);
        QCOMPARE(lost, 1);
        QVERIFY2(events <= 3, qPrintable(QString::number(events)));
        QCOMPARE(port.error(), SerialPort::Error::Io);
        QCOMPARE(foreignWords(port.errorString()), QStringList());
        QCOMPARE(collected, QString("!1,2,"));
    }

    void discoveryOffersThePortsThatOpen_data() {
        QTest::addColumn<QList<int>>("mapped");
        QTest::addColumn<QList<int>>("held");
        QTest::addColumn<QList<int>>("offered");
        QTest::newRow("none") << QList<int>{} << QList<int>{} << QList<int>{};
        QTest::newRow("COM3 and COM5") << QList<int>{3, 5} << QList<int>{} << QList<int>{3, 5};
        QTest::newRow("all nine") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9} << QList<int>{}
                                  << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9};
        QTest::newRow("a busy port is left out")
            << QList<int>{1, 2, 4} << QList<int>{2} << QList<int>{1, 4};
    }
    void discoveryOffersThePortsThatOpen() {
        QFETCH(QList<int>, mapped);
        QFETCH(QList<int>, held);
        QFETCH(QList<int>, offered);
        std::vector<std::unique_ptr<DialerSimulator>> devices;
        std::vector<std::unique_ptr<QSerialPort>> holders;
        PortMap map;
        map.setDevice(8, {"/dev/no-such-dialer", {}});
        for (int n : mapped) {
            devices.push_back(std::make_unique<DialerSimulator>());
            QVERIFY(devices.back()->open());
            map.setDevice(n, {devices.back()->portPath(), {}});
            if (held.contains(n)) {
                holders.push_back(std::make_unique<QSerialPort>(devices.back()->portPath()));
                QVERIFY(holders.back()->open(QIODevice::ReadWrite));
            }
        }
        SerialPort port;
        port.setPortMap(map);
        const QList<ProbedPort> probed = PortDiscovery(port);
        QCOMPARE(probed.size(), 9);
        QList<int> found;
        for (int i = 0; i < probed.size(); ++i) {
            QCOMPARE(probed[i].port, i + 1);
            if (probed[i].opened)
                found << probed[i].port;
            else if (held.contains(probed[i].port))
                QCOMPARE(probed[i].error, SerialPort::Error::Busy);
        }
        QCOMPARE(found, offered);

        // The probe leaves everything as an exchange expects it, and no port open.
        QVERIFY(!port.PortOpen());
        QCOMPARE(port.Settings(), QString("115200,N,8,1"));
        QCOMPARE(port.RThreshold(), qint16(0));
        QCOMPARE(port.CommPort(), qint16(9));
        holders.clear();
        for (const auto& device : devices) {
            QSerialPort other(device->portPath());
            QVERIFY(other.open(QIODevice::ReadWrite));
        }
    }
};

QTEST_GUILESS_MAIN(SerialPortTest)
#include "tst_serialport.moc"
