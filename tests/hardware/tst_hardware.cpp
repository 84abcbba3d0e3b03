// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The window and dialerctl on the kernel's own serial drivers: run inside the emulated machine of
// scripts/test-hardware.sh, where USB serial adapters (ftdi_sio, /dev/ttyUSB*) and a 16550 UART
// lead to simulated dialers on the host. The host plugs and pulls adapters when asked, and tells
// which bytes each dialer received, over a virtio serial port. A dialer with native USB
// (cdc_acm, /dev/ttyACM0) is made here inside, as a USB gadget.
//
// With HW_PRINT_SELECTOR set it only builds the window headless and prints what the port
// selector offers and its tooltip: the lane runs it so as a user outside the group dialout.

#include "XWindowDriver.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The host's end of the virtio serial port: one request a line, one answer a line.
class HostLink {
public:
    bool open(const QString& path) {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        return m_fd >= 0;
    }
    QString ask(const QString& request) {
        const QByteArray line = request.toUtf8() + '\n';
        if (::write(m_fd, line.constData(), size_t(line.size())) != line.size())
            return QStringLiteral("error: not sent");
        QByteArray answer;
        char c = 0;
        while (::read(m_fd, &c, 1) == 1 && c != '\n')
            answer += c;
        return QString::fromUtf8(answer);
    }

private:
    int m_fd = -1;
};

QString byId(const QString& adapter) {
    return QStringLiteral("/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_%1-if00-port0").arg(adapter);
}

// Waits until `path` is there (or gone).
bool waitForPath(const QString& path, bool present) {
    QElapsedTimer waited;
    waited.start();
    while (QFile::exists(path) != present && waited.elapsed() < 30000) {
        QProcess::execute(QStringLiteral("udevadm"), {"settle", "--timeout=5"});
        QTest::qWait(100);
    }
    return QFile::exists(path) == present;
}

// A dialer with native USB, as microcontrollers appear: dummy_hcd joins a USB gadget with the
// kernel's serial function (ACM) to this machine's own bus, so the cdc_acm driver sees a CDC-ACM
// device, /dev/ttyACM0, whose far end is the gadget's /dev/ttyGS0, where a simulated dialer
// answers. Writing "disconnect" to the controller's soft_connect takes the gadget off the bus, as
// pulling its cable does. Binding the gadget to the controller again plugs it back in ("connect"
// does not: this kernel's dummy controller then fails to enumerate, error -71). The gadget is
// made in configfs, where its serial function, and with it /dev/ttyGS0, outlives a rebinding.
class GadgetDialer {
public:
    static constexpr const char *Device = "/dev/ttyACM0";
    static constexpr const char *Serial = "ACM1";

    // Makes the gadget (once) and starts a dialer with `options` on its end; true once the
    // system has the device.
    bool start(const QStringList& options) {
        stop();
        if (!QFile::exists(Gadget) && !make())
            return false;
        m_sim.start(
            qEnvironmentVariable("HW_DIALER_SIM"),
            QStringList{"--device", "/dev/ttyGS0", "--verbose", "--values", "101,2,3,4,5,*1#"} +
                options);
        if (!m_sim.waitForReadyRead(10000) || !m_sim.canReadLine())
            return false;
        m_sim.readLine(); // the port's path
        m_received.clear();
        m_commands = 0;
        return waitForDevice();
    }
    void stop() {
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.kill();
            m_sim.waitForFinished();
        }
    }
    // Takes the gadget apart and unloads its modules; the dialer must have stopped.
    static void remove() {
        if (QFile::exists(Gadget)) {
            write(QStringLiteral("UDC"), "\n");
            QFile::remove(QStringLiteral("%1/configs/c.1/acm.usb0").arg(Gadget));
            for (const char *dir : {"configs/c.1", "functions/acm.usb0", "strings/0x409", ""})
                QDir().rmdir(QStringLiteral("%1/%2").arg(Gadget, dir));
        }
        QProcess::execute("rmmod", {"usb_f_acm", "libcomposite", "dummy_hcd"});
    }

    [[nodiscard]] static bool unplug() {
        QFile softConnect(QStringLiteral("/sys/class/udc/%1/soft_connect").arg(udc()));
        return softConnect.open(QIODevice::WriteOnly) && softConnect.write("disconnect") > 0;
    }
    [[nodiscard]] static bool plugBackIn() {
        return write(QStringLiteral("UDC"), "\n") && write(QStringLiteral("UDC"), udc().toUtf8()) &&
               waitForDevice();
    }

    // The bytes the dialer received since the last call.
    QByteArray received() {
        collect();
        return std::exchange(m_received, {});
    }
    // Waits until the dialer has received one more command than when last asked.
    [[nodiscard]] bool waitForCommand(int ms) {
        const int seen = m_commands;
        QElapsedTimer waited;
        waited.start();
        while (collect() == seen && waited.elapsed() < ms)
            m_sim.waitForReadyRead(5);
        return m_commands > seen;
    }

private:
    static constexpr const char *Gadget = "/sys/kernel/config/usb_gadget/dialer";

    // The device, once udev has given it its group and its names (which the listing reads).
    static bool waitForDevice() {
        const bool present = waitForPath(Device, true);
        QProcess::execute(QStringLiteral("udevadm"), {"settle", "--timeout=5"});
        return present;
    }
    static bool make() {
        QProcess::execute("modprobe", {"-a", "dummy_hcd", "libcomposite", "usb_f_acm", "cdc_acm"});
        if (!QFile::exists(QStringLiteral("/sys/kernel/config/usb_gadget")))
            QProcess::execute("mount", {"-t", "configfs", "configfs", "/sys/kernel/config"});
        for (const char *dir : {"strings/0x409", "functions/acm.usb0", "configs/c.1"})
            QDir().mkpath(QStringLiteral("%1/%2").arg(Gadget, dir));
        // The vendor's and product's numbers of the kernel's serial gadget.
        return write(QStringLiteral("idVendor"), "0x0525") &&
               write(QStringLiteral("idProduct"), "0xa4a7") &&
               write(QStringLiteral("strings/0x409/serialnumber"), Serial) &&
               write(QStringLiteral("strings/0x409/product"), "Gadget Serial") &&
               QFile::link(QStringLiteral("%1/functions/acm.usb0").arg(Gadget),
                           QStringLiteral("%1/configs/c.1/acm.usb0").arg(Gadget)) &&
               !udc().isEmpty() && write(QStringLiteral("UDC"), udc().toUtf8());
    }
    static bool write(const QString& attribute, const QByteArray& value) {
        QFile file(QStringLiteral("%1/%2").arg(Gadget, attribute));
        return file.open(QIODevice::WriteOnly) && file.write(value) == value.size();
    }
    static QString udc() {
        const QStringList found =
            QDir(QStringLiteral("/sys/class/udc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        return found.isEmpty() ? QString() : found.first();
    }
    // The dialer logs each command as "<- HEX  TEXT".
    int collect() {
        while (m_sim.waitForReadyRead(0)) {
        }
        while (m_sim.canReadLine()) {
            const QByteArray line = m_sim.readLine();
            if (line.startsWith("<- ")) {
                m_received += QByteArray::fromHex(line.mid(3, line.indexOf("  ", 3) - 3));
                ++m_commands;
            }
        }
        return m_commands;
    }

    QProcess m_sim;
    QByteArray m_received;
    int m_commands = 0;
};

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// The selector of a window built here, headless, as it shows after start-up.
QStringList selectorOffers(QString *tooltip, bool *enabled) {
    QTemporaryDir dir;
    Form1 form;
    form.setSettingsStore(SettingsStore(dir.filePath(QStringLiteral("Velkor.ini"))));
    form.setInfoPresenter([](const QString&) {});
    form.Form_Load();
    // The ports are offered as their openings return.
    (void)QTest::qWaitFor([&form] { return !form.isProbingPorts(); }, 5000);
    const auto *combo = form.findChild<QComboBox *>(QStringLiteral("Combo1"));
    QStringList offered;
    for (int i = 0; i < combo->count(); ++i)
        offered << combo->itemText(i) + u' ' + combo->itemData(i, Qt::ToolTipRole).toString();
    *tooltip = combo->toolTip();
    *enabled = combo->isEnabled();
    return offered;
}

} // namespace

class HardwareTest : public QObject {
    Q_OBJECT

    HostLink m_host;
    QTemporaryDir m_dir;
    QProcess m_app;
    XWindowDriver m_driver;
    const QString m_program = qEnvironmentVariable("HW_PROGRAM");
    const QString m_dialerctl = qEnvironmentVariable("HW_DIALERCTL");
    QProcess m_slowDevice;
    GadgetDialer m_gadget;

    // A device whose open() the kernel answers only after `seconds`; false when it did not come.
    bool startSlowDevice(int seconds) {
        m_slowDevice.setProcessChannelMode(QProcess::ForwardedChannels);
        m_slowDevice.start(qEnvironmentVariable("HW_SLOW_OPEN"),
                           {QStringLiteral("dialer-slow"), QString::number(seconds)});
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(SlowDevice) && waited.elapsed() < 10000)
            QTest::qWait(50);
        return QFile::exists(SlowDevice);
    }
    void endSlowDevice() {
        if (m_slowDevice.state() != QProcess::NotRunning) {
            m_slowDevice.kill();
            m_slowDevice.waitForFinished();
        }
    }
    static constexpr const char *SlowDevice = "/dev/dialer-slow";
    // Longer than any run here may take: a program that waited for the opening would show it.
    static constexpr int SlowSeconds = 40;

    QByteArray received(const QString& adapter) {
        return QByteArray::fromHex(m_host.ask(QStringLiteral("received ") + adapter).toLatin1());
    }
    void clear(const QString& adapter) { QCOMPARE(m_host.ask("clear " + adapter), "ok"); }

    // Asks the host to plug or pull an adapter and waits until the system has its device, or
    // has let go of it.
    bool plug(const QString& adapter, const QString& options = {}) {
        if (m_host.ask(QStringLiteral("plug %1 %2").arg(adapter, options).trimmed()) != u"ok")
            return false;
        return waitForDevice(adapter, true);
    }
    bool pull(const QString& adapter) {
        if (m_host.ask(QStringLiteral("unplug ") + adapter) != u"ok")
            return false;
        return waitForDevice(adapter, false);
    }
    static bool waitForDevice(const QString& adapter, bool present) {
        return waitForPath(byId(adapter), present);
    }
    static QString deviceOf(const QString& adapter) {
        return QFileInfo(byId(adapter)).canonicalFilePath();
    }
    static QString lockOf(const QString& device) {
        return QStringLiteral("/run/lock/LCK..") + QFileInfo(device).fileName();
    }

    Run run(const QString& program, const QStringList& arguments, const QString& config = {},
            bool unprivileged = false) {
        QProcess process;
        launch(process, program, arguments, config, unprivileged);
        return finish(process);
    }
    void launch(QProcess& process, const QString& program, const QStringList& arguments,
                const QString& config = {}, bool unprivileged = false) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME",
                           config.isEmpty() ? m_dir.filePath(QStringLiteral("none")) : config);
        process.setProcessEnvironment(environment);
        if (unprivileged)
            process.start(
                QStringLiteral("setpriv"),
                QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", program} +
                    arguments);
        else
            process.start(program, arguments);
    }
    static Run finish(QProcess& process) {
        if (!process.waitForFinished(60000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }
    Run dialerctl(const QStringList& arguments, const QString& config = {},
                  bool unprivileged = false) {
        return run(m_dialerctl, arguments, config, unprivileged);
    }
    static QJsonArray portsOf(const QByteArray& json) {
        return QJsonDocument::fromJson(json)["ports"].toArray();
    }

    bool startWindow(const QString& config = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME",
                           config.isEmpty() ? m_dir.filePath(QStringLiteral("none")) : config);
        environment.insert("QT_QPA_PLATFORM", "xcb");
        m_app.setProcessEnvironment(environment);
        m_app.setWorkingDirectory(m_dir.path());
        m_app.setProcessChannelMode(QProcess::ForwardedChannels);
        m_app.start(m_program, {});
        return m_app.waitForStarted() && m_driver.waitForWindow(60000);
    }
    void endWindow() {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.kill();
            m_app.waitForFinished();
        }
    }
    // The ports the window's selector offers, read as a user reads them: one by one.
    QStringList offeredInTheWindow() {
        m_driver.clickOn("Combo1");
        for (int i = 0; i < 9; ++i)
            XWindowDriver::run({"key", "Up"});
        QStringList offered{m_driver.readField("Combo1")};
        for (int i = 0; i < 9; ++i) {
            XWindowDriver::run({"key", "Down"});
            const QString next = m_driver.readField("Combo1");
            if (next == offered.last())
                break;
            offered << next;
        }
        return offered;
    }
    // Presses a button and answers the message box it brings; false when none came. (The box's
    // words are the window's own verdicts, which its unit tests hold; here what the verdict did
    // tells: the fields it filled, the bytes that went out.)
    bool press(const char *button) {
        m_driver.clickOn(button);
        return XWindowDriver::answerMessageBox({}, nullptr, 10000);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QFile::exists(m_program) && QFile::exists(m_dialerctl));
        QVERIFY2(m_host.open(qEnvironmentVariable("HW_CONTROL")), "no control port");
        QVERIFY(waitForDevice("A1", true) && waitForDevice("A2", true));
    }

    void cleanup() {
        endWindow();
        endSlowDevice();
        m_gadget.stop();
    }
    void cleanupTestCase() { GadgetDialer::remove(); }

    // (a) With no port map the USB adapters come first, in order, then the UART with hardware;
    // the UART slots the kernel keeps without hardware are never offered.
    void adaptersFirstThenTheUart_dialerctl() {
        const Run listed = dialerctl({"ports", "--json"});
        QCOMPARE(listed.exitCode, 0);
        const QJsonArray ports = portsOf(listed.out);
        QStringList seen;
        for (const auto& p : ports)
            seen << p.toObject()["port"].toString() + u' ' + p.toObject()["device"].toString();
        QCOMPARE(ports.size(), 3);
        QCOMPARE(seen.mid(0, 2), QStringList({"COM1 /dev/ttyUSB0", "COM2 /dev/ttyUSB1"}));
        QVERIFY2(seen[2].startsWith("COM3 /dev/ttyS"), qPrintable(seen.join(", ")));
        QCOMPARE(ports[0]["adapter"]["serial"].toString(), "A1");
        QCOMPARE(ports[0]["adapter"]["description"].toString(), "QEMU USB SERIAL");
        QCOMPARE(ports[1]["adapter"]["by_id"].toString(), byId("A2"));
        const Run table = dialerctl({"ports"});
        QVERIFY2(table.out.contains("QEMU USB SERIAL") && table.out.contains("serial A1"),
                 table.out);
    }
    void adaptersFirstThenTheUart_window() {
        QString tooltip;
        bool enabled = false;
        const QStringList offered = selectorOffers(&tooltip, &enabled);
        QCOMPARE(offered.size(), 3);
        QVERIFY2(offered[0].startsWith("COM1 /dev/ttyUSB0") &&
                     offered[0].contains("QEMU USB SERIAL") &&
                     offered[1].startsWith("COM2 /dev/ttyUSB1") &&
                     offered[2].startsWith("COM3 /dev/ttyS"),
                 qPrintable(offered.join(" | ")));
        QVERIFY(startWindow());
        QCOMPARE(offeredInTheWindow(), QStringList({"COM1", "COM2", "COM3"}));
    }

    // (b) Read, Save and write --verify through the drivers, byte for byte at the dialers.
    void readAndSaveThroughTheDriver_window() {
        clear("A1");
        QVERIFY(startWindow());
        QVERIFY(press("ReadCMD"));
        QCOMPARE(m_driver.readField("Text1Num"), QString("101"));
        m_driver.clickOn("TextFreeNum");
        XWindowDriver::run({"key", "ctrl+a"});
        XWindowDriver::run({"type", "--delay", "20", "*55#"});
        QVERIFY(press("SaveCMD"));
        QCOMPARE(received("A1"), QByteArray("?6\r\n!101,2,3,4,5,*55#,\r\n"));
    }
    void writeVerifyThroughTheDriver_dialerctl() {
        clear("A2");
        clear("U1");
        const Run written =
            dialerctl({"write", "--port", "COM2", "--values", "1,2,3,4,5,*6#", "--verify"});
        QVERIFY2(written.exitCode == 0 && written.out.contains("verified"), written.out);
        QCOMPARE(received("A2"), QByteArray("!1,2,3,4,5,*6#,\r\n?6\r\n"));
        const Run uart = dialerctl({"read", "--port", "COM3", "--json"});
        QCOMPARE(portsOf(uart.out).at(0)["outcome"].toString(), "read");
        QCOMPARE(received("U1"), QByteArray("?6\r\n"));
    }

    // (c) An adapter pulled during the 500 ms window: one message, nothing left locked, and the
    // adapter plugged next works.
    void adapterPulledMidExchange_dialerctl() {
        QVERIFY(plug("A3", "--silent"));
        const QString device = deviceOf("A3");
        QCOMPARE(m_host.ask("unplug-on-command A3"), "armed");
        const Run pulled = dialerctl({"read", "--port", byId("A3"), "--json"});
        QCOMPARE(pulled.exitCode, 1);
        const QJsonObject port = portsOf(pulled.out).at(0).toObject();
        QCOMPARE(port["outcome"].toString(), "port-error");
        QCOMPARE(port["reason"].toString(), "lost");
        QVERIFY2(port["message"].toString().contains("связь с портом потеряна") &&
                     port["message"].toString().contains(byId("A3")),
                 qPrintable(port["message"].toString()));
        QVERIFY(waitForDevice("A3", false));
        QVERIFY2(!QFile::exists(lockOf(device)), qPrintable(lockOf(device)));
        QVERIFY(plug("A4"));
        const Run next = dialerctl({"read", "--port", byId("A4"), "--json"});
        QCOMPARE(portsOf(next.out).at(0)["outcome"].toString(), "read");
        QCOMPARE(received("A4"), QByteArray("?6\r\n"));
        QVERIFY(pull("A4"));
    }
    void adapterPulledMidExchange_window() {
        QVERIFY(plug("A5", "--silent"));
        const QString device = deviceOf("A5");
        QVERIFY(startWindow());
        QCOMPARE(offeredInTheWindow(), QStringList({"COM1", "COM2", "COM3", "COM4"}));
        m_driver.typePort("COM3");
        QCOMPARE(m_host.ask("unplug-on-command A5"), "armed");
        // The window's verdict once its 500 ms are up is on what arrived, which is nothing: no
        // field changes.
        QVERIFY(press("ReadCMD"));
        QVERIFY(m_driver.readField("Text1Num") != u"101");
        QCOMPARE(received("A5"), QByteArray("?6\r\n"));
        QVERIFY(waitForDevice("A5", false));
        QVERIFY(!XWindowDriver::answerMessageBox({}, nullptr, 1500)); // one message, no more
        QVERIFY(m_app.state() == QProcess::Running);
        QVERIFY2(!QFile::exists(lockOf(device)), qPrintable(lockOf(device)));
        // The next adapter takes the same device, and the port keeps its number.
        QVERIFY(plug("A6"));
        QCOMPARE(deviceOf("A6"), device);
        QVERIFY(press("ReadCMD"));
        QCOMPARE(m_driver.readField("Text1Num"), QString("101"));
        QCOMPARE(received("A6"), QByteArray("?6\r\n"));
    }

    // (d) An adapter plugged while the window runs gets the next number when the list opens;
    // a new run of dialerctl numbers afresh, USB adapters first.
    void adapterPluggedLater_window() {
        QVERIFY(startWindow());
        QCOMPARE(offeredInTheWindow(), QStringList({"COM1", "COM2", "COM3", "COM4"}));
        QVERIFY(plug("A7"));
        m_driver.clickOn("Combo1");
        XWindowDriver::run({"key", "F4"});
        QTest::qWait(500);
        XWindowDriver::run({"key", "Escape"});
        QCOMPARE(offeredInTheWindow(), QStringList({"COM1", "COM2", "COM3", "COM4", "COM5"}));
        m_driver.typePort("COM5");
        QVERIFY(press("ReadCMD"));
        QCOMPARE(m_driver.readField("Text1Num"), QString("101"));
        QCOMPARE(received("A7"), QByteArray("?6\r\n"));
    }
    void adapterPluggedLater_dialerctl() {
        const QJsonArray ports = portsOf(dialerctl({"ports", "--json"}).out);
        QCOMPARE(ports.size(), 5);
        QCOMPARE(ports[3]["adapter"]["serial"].toString(), "A7");
        QVERIFY(ports[4]["device"].toString().startsWith("/dev/ttyS"));
    }

    // (e) A user outside the group dialout is told to join it.
    void userOutsideDialout_dialerctl() {
        const Run denied = dialerctl({"read", "--port", "COM1", "--json"}, {}, true);
        QCOMPARE(denied.exitCode, 1);
        const QString message = portsOf(denied.out).at(0)["message"].toString();
        QVERIFY2(message.contains("добавьте пользователя в группу «dialout»"), qPrintable(message));
        const QJsonArray ports = portsOf(dialerctl({"ports", "--json"}, {}, true).out);
        QCOMPARE(ports.at(0)["state"].toString(), "denied");
        QCOMPARE(ports.at(0)["group"].toString(), "dialout");
    }
    void userOutsideDialout_window() {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HW_PRINT_SELECTOR", "1");
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", m_dir.path());
        child.setProcessEnvironment(environment);
        child.start("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                QCoreApplication::applicationFilePath()});
        QVERIFY(child.waitForFinished(60000));
        const QString shown = QString::fromUtf8(child.readAllStandardOutput());
        QVERIFY2(shown.startsWith("disabled") && shown.contains("«dialout»"), qPrintable(shown));
    }

    // (f) A port map naming a by-id link reaches that adapter whatever the order of plugging.
    void byIdLinkInAPortMap_dialerctl() {
        for (const char *adapter : {"A1", "A2", "A6", "A7"})
            QVERIFY(pull(adapter));
        QVERIFY(plug("A2"));
        QVERIFY(plug("A1"));
        QCOMPARE(deviceOf("A2"), QString("/dev/ttyUSB0"));
        const QString config = m_dir.filePath(QStringLiteral("config"));
        QVERIFY(QDir().mkpath(config + "/dialer-config"));
        QFile map(config + "/dialer-config/ports.ini");
        QVERIFY(map.open(QIODevice::WriteOnly));
        map.write("[ports]\nCOM1=" + byId("A1").toUtf8() + "\n");
        map.close();
        clear("A1");
        clear("A2");
        const Run read = dialerctl({"read", "--port", "COM1", "--json"}, config);
        QCOMPARE(portsOf(read.out).at(0)["outcome"].toString(), "read");
        QCOMPARE(received("A1"), QByteArray("?6\r\n"));
        QCOMPARE(received("A2"), QByteArray());
    }
    void byIdLinkInAPortMap_window() {
        clear("A1");
        clear("A2");
        QVERIFY(startWindow(m_dir.filePath(QStringLiteral("config"))));
        QCOMPARE(offeredInTheWindow(), QStringList({"COM1"}));
        QVERIFY(press("ReadCMD"));
        QCOMPARE(m_driver.readField("Text1Num"), QString("101"));
        QCOMPARE(received("A1"), QByteArray("?6\r\n"));
        QCOMPARE(received("A2"), QByteArray());
    }

    // (g) A port whose opening the kernel holds for longer than any deadline (a character device
    // whose open() is answered after 40 s, as a Bluetooth link's is once it connects): dialerctl
    // gives its verdict at the opening's deadline and ends then, and a reader of its output sees
    // the output end too.
    void openingHeldInTheKernel_dialerctl() {
        QVERIFY(startSlowDevice(SlowSeconds));
        QProcess pipeline;
        QElapsedTimer took;
        took.start();
        pipeline.start("sh",
                       {"-c", R"("$0" read --port "$1" --json | cat)", m_dialerctl, SlowDevice});
        QVERIFY(pipeline.waitForFinished(SlowSeconds * 1000));
        const qint64 ms = took.elapsed();
        QVERIFY2(ms < 15000, qPrintable(QString::number(ms)));
        const QJsonObject port = portsOf(pipeline.readAllStandardOutput()).at(0).toObject();
        QCOMPARE(port["outcome"].toString(), "port-error");
        QCOMPARE(port["reason"].toString(), "timeout");
        QVERIFY2(port["message"].toString().contains("не открылся за 1,5 с"),
                 qPrintable(port["message"].toString()));
    }
    // The window's probe and its press meet the same device; leaving through Exit ends the
    // program at once, however long the openings are held.
    void openingHeldInTheKernel_window() {
        QVERIFY(startSlowDevice(SlowSeconds));
        const QString config = m_dir.filePath(QStringLiteral("slow"));
        QVERIFY(QDir().mkpath(config + "/dialer-config"));
        QFile map(config + "/dialer-config/ports.ini");
        QVERIFY(map.open(QIODevice::WriteOnly));
        map.write("[ports]\nCOM1=" + byId("A1").toUtf8() + "\nCOM2=" + SlowDevice + "\n");
        map.close();
        QVERIFY(startWindow(config));
        QCOMPARE(offeredInTheWindow(), QStringList({"COM1"}));
        m_driver.typePort("COM2");
        // The press is told, after the opening's 1.5 s, that the port did not open.
        QElapsedTimer took;
        took.start();
        QVERIFY(press("ReadCMD"));
        QVERIFY2(took.elapsed() >= 1400, qPrintable(QString::number(took.elapsed())));
        took.start();
        m_driver.clickOn("ExitCMD");
        QVERIFY(m_app.waitForFinished(SlowSeconds * 1000));
        QVERIFY2(took.elapsed() < 10000, qPrintable(QString::number(took.elapsed())));
    }

    // (h) A dialer with native USB (cdc_acm) is listed after the USB adapters, and takes exactly
    // the commands.
    void cdcAcmDialer_dialerctl() {
        QVERIFY(m_gadget.start({}));
        const QJsonArray ports = portsOf(dialerctl({"ports", "--json"}).out);
        QStringList seen;
        for (const auto& p : ports)
            seen << p.toObject()["port"].toString() + u' ' + p.toObject()["device"].toString();
        QVERIFY2(ports.size() == 4 && seen[2] == u"COM3 /dev/ttyACM0" &&
                     seen[3].startsWith("COM4 /dev/ttyS"),
                 qPrintable(seen.join(", ")));
        QCOMPARE(ports[2]["adapter"]["serial"].toString(), GadgetDialer::Serial);
        const Run written = dialerctl(
            {"write", "--port", GadgetDialer::Device, "--values", "1,2,3,4,5,*6#", "--verify"});
        QVERIFY2(written.exitCode == 0 && written.out.contains("verified"), written.out);
        QCOMPARE(m_gadget.received(), QByteArray("!1,2,3,4,5,*6#,\r\n?6\r\n"));
        const Run read = dialerctl({"read", "--port", "COM3", "--json"});
        QCOMPARE(portsOf(read.out).at(0)["values"].toArray().at(5).toString(), "*6#");
        QCOMPARE(m_gadget.received(), QByteArray("?6\r\n"));
    }
    void cdcAcmDialer_window() {
        QVERIFY(m_gadget.start({}));
        QString tooltip;
        bool enabled = false;
        const QStringList offered = selectorOffers(&tooltip, &enabled);
        QVERIFY2(offered.size() == 4 && offered[2].startsWith("COM3 /dev/ttyACM0"),
                 qPrintable(offered.join(" | ")));
    }

    // (i) The dialer drops off the bus 100 ms into a read, while dialerctl waits for its answer:
    // the port is lost, in every run. Which of the line's signs of loss comes first varies from
    // run to run, so one run would prove little.
    void cdcAcmDialerPulledMidExchange_dialerctl() {
        QVERIFY(m_gadget.start({"--silent"}));
        QStringList verdicts;
        for (int i = 0; i < 10; ++i) {
            QProcess reader;
            launch(reader, m_dialerctl, {"read", "--port", GadgetDialer::Device, "--json"});
            QVERIFY(m_gadget.waitForCommand(20000));
            QCOMPARE(m_gadget.received(), QByteArray("?6\r\n"));
            QTest::qWait(100);
            // A machine slow enough to pull the cable only after dialerctl has given its verdict
            // would make a silent dialer of it, rightly: such a run shows nothing.
            QVERIFY2(reader.state() == QProcess::Running, "the unplug came after dialerctl ended");
            QVERIFY(GadgetDialer::unplug());
            const QJsonObject port = portsOf(finish(reader).out).at(0).toObject();
            const QString verdict = port["outcome"].toString() + u' ' + port["reason"].toString();
            verdicts << verdict.trimmed();
            if (verdict == u"port-error lost")
                QVERIFY2(port["message"].toString().contains("связь с портом потеряна"),
                         qPrintable(port["message"].toString()));
            QVERIFY(waitForPath(GadgetDialer::Device, false));
            QVERIFY2(!QFile::exists(lockOf(GadgetDialer::Device)),
                     qPrintable(lockOf(GadgetDialer::Device)));
            QVERIFY(GadgetDialer::plugBackIn());
        }
        qInfo("unplugged mid-read: %s", qPrintable(verdicts.join(", ")));
        QCOMPARE(verdicts.count(QStringLiteral("port-error lost")), verdicts.size());
    }
};

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("HW_PRINT_SELECTOR")) {
        QString tooltip;
        bool enabled = false;
        const QStringList offered = selectorOffers(&tooltip, &enabled);
        std::printf("%s %s\n%s\n", enabled ? "enabled" : "disabled", qPrintable(offered.join(u'|')),
                    tooltip.toUtf8().constData());
        return 0;
    }
    HardwareTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hardware.moc"
