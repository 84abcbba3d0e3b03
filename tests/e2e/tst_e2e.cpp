// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The whole story through a real window: the installed program under an X server, a port map
// pointing at simulated dialers, real X input events (xdotool), the fields read back through the
// X clipboard, and a screenshot of every message box.
//
// Run by CTest on a display of its own (scripts/with-xvfb.sh), after the install fixture has put
// the program in E2E_PREFIX. With E2E_WINDOWS_PROGRAM naming an installed dialer-config.exe, the
// same story is told to the Windows program under wine (WINEPREFIX as the caller set it): wine's
// COM1 to COM3 lead to the simulated dialers, and the shell's browser is a recorder of the address
// it is given.

#include "PortMapFile.h"
#include "XWindowDriver.h"
#include "ui/Form1.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString run(const QStringList& arguments, int timeoutMs = 10000,
            const QString& program = QStringLiteral("xdotool")) {
    return XWindowDriver::run(arguments, timeoutMs, program);
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_artefacts;
    std::vector<std::unique_ptr<QProcess>> m_devices;
    QProcess m_app;
    XWindowDriver m_driver;
    int m_shots = 0;
    const QString m_windows = qEnvironmentVariable("E2E_WINDOWS_PROGRAM");

    // Under wine, COMn is what the registry names; a change is seen once the server restarts.
    void linkWinePorts(const QStringList& devices) {
        for (int n = 1; n <= 9; ++n) {
            const QString target =
                n <= devices.size() ? devices[n - 1] : m_dir.filePath(QStringLiteral("absent"));
            run({"reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", QStringLiteral("COM%1").arg(n),
                 "/t", "REG_SZ", "/d", target, "/f"},
                30000, QStringLiteral("wine"));
        }
        run({"-k"}, 30000, QStringLiteral("wineserver"));
    }

    // The address the shell hands to the browser lands in a file.
    QString recordBrowser() {
        const QString script = m_dir.filePath(QStringLiteral("browser"));
        QString record = m_dir.filePath(QStringLiteral("browsed.txt"));
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write("#!/bin/sh\nprintf '%s\\n' \"$@\" >>'" + record.toLocal8Bit() + "'\n");
        file.close();
        file.setPermissions(file.permissions() | QFile::ExeOwner);
        run({"reg", "add", "HKCU\\Software\\Wine\\WineBrowser", "/v", "Browsers", "/t", "REG_SZ",
             "/d", script, "/f"},
            30000, QStringLiteral("wine"));
        return record;
    }

    QString startDevice(const QStringList& options) {
        auto device = std::make_unique<QProcess>();
        // A caller running the test as another user may hand it a simulator it can reach.
        device->start(qEnvironmentVariable("E2E_DIALER_SIM", QStringLiteral(DIALER_SIM)),
                      QStringList{"--verbose"} + options);
        if (!device->waitForReadyRead(5000))
            return {};
        QString path = QString::fromLocal8Bit(device->readLine().trimmed());
        m_devices.push_back(std::move(device));
        return path;
    }

    void stopDevices() {
        for (auto& device : m_devices) {
            device->terminate();
            device->waitForFinished();
        }
        m_devices.clear();
    }

    QString deviceLog(int index) {
        QProcess& device = *m_devices[std::size_t(index)];
        device.waitForReadyRead(200);
        return QString::fromLocal8Bit(device.readAllStandardOutput());
    }

    void clickOn(const char *control) { m_driver.clickOn(control); }

    QString readField(const char *field) { return m_driver.readField(field); }

    // Waits for the message box, keeps a picture of it and dismisses it with Return.
    bool answerMessageBox(const QString& name) {
        return XWindowDriver::answerMessageBox(
            QStringLiteral("%1/%2-%3.png").arg(m_artefacts).arg(++m_shots).arg(name));
    }

    // The program as a user starts it: in `work`, with the port map under `config`; under wine
    // on the windows platform, as the program chooses it.
    bool startWindow(const QString& work, const QString& config = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!config.isEmpty())
            env.insert("XDG_CONFIG_HOME", config);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.remove("WINEQT_QPA_PLATFORM");
        m_app.setProcessEnvironment(env);
        m_app.setWorkingDirectory(work);
        m_app.setProcessChannelMode(QProcess::ForwardedChannels);
        if (m_windows.isEmpty())
            m_app.start(QStringLiteral(E2E_PREFIX "/bin/dialer-config"), {});
        else
            m_app.start(QStringLiteral("wine"), {m_windows});
        return m_app.waitForStarted() && waitForWindow();
    }

    bool waitForWindow() { return m_driver.waitForWindow(); }

    bool waitForWindowGone() { return m_driver.waitForWindowGone(); }

    void endWindow() {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.kill();
            m_app.waitForFinished();
        }
        run({"-k"}, 30000, QStringLiteral("wineserver"));
    }

    QString wine(const QStringList& arguments) {
        return run(arguments, 60000, QStringLiteral("wine"));
    }

    // Selects a port by typing its name into the selector and reads it.
    bool readFrom(const QString& port, const QString& shot) {
        m_driver.typePort(port);
        clickOn("ReadCMD");
        return answerMessageBox(shot);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_artefacts = qEnvironmentVariable(
            "E2E_ARTEFACTS_DIR",
            QStringLiteral(E2E_ARTEFACTS) +
                (m_windows.isEmpty() ? QString() : QStringLiteral("-windows")));
        QDir(m_artefacts).removeRecursively();
        QVERIFY(QDir().mkpath(m_artefacts));
        if (!m_windows.isEmpty()) {
            QVERIFY2(QFile::exists(m_windows), qPrintable(m_windows));
            return;
        }
        QVERIFY2(QFile::exists(QStringLiteral(E2E_PREFIX "/bin/dialer-config")),
                 "the install fixture has not run");
        QVERIFY(
            QFile::exists(QStringLiteral(E2E_PREFIX "/share/applications/dialer-config.desktop")));
        QVERIFY(QFile::exists(
            QStringLiteral(E2E_PREFIX "/share/icons/hicolor/32x32/apps/dialer-config.png")));
    }

    void cleanupTestCase() {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.kill();
            m_app.waitForFinished();
        }
        stopDevices();
    }

    void wholeStory() {
        // COM1 answers, COM2 stays silent, COM3 answers garbage.
        const QString com1 = startDevice({"--values", "101,202,303,Ив 4,505,*7#"});
        const QString com2 = startDevice({"--silent"});
        const QString com3 = startDevice({"--garbage"});
        QVERIFY(!com1.isEmpty() && !com2.isEmpty() && !com3.isEmpty());
        const QString config = m_dir.filePath("config");
        QVERIFY(writePortMapFile(config, {{1, com1}, {2, com2}, {3, com3}}));
        QString browsed;
        if (!m_windows.isEmpty()) {
            linkWinePorts({com1, com2, com3});
            browsed = recordBrowser();
        }

        const QString work = m_dir.filePath("work");
        QVERIFY(QDir().mkpath(work));
        QFile settings(work + "/Velkor.ini");
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("\"1\",\"2\",\"3\",\"4\",\"5\",\"6\"\r\n");
        settings.close();

        QVERIFY2(startWindow(work, config), "the window did not appear");
        QTest::qWait(500);
        QGuiApplication::primaryScreen()->grabWindow(0).save(m_artefacts + "/0-started.png");

        // Started with the settings file.
        QCOMPARE(readField("Text1Num"), QString("1"));
        QCOMPARE(readField("TextFreeNum"), QString("6"));

        // The start-up probe offers the three dialers' ports, in order, and nothing more.
        QStringList offered{readField("Combo1")};
        for (int i = 0; i < 3; ++i) {
            run({"key", "Down"});
            offered << readField("Combo1");
        }
        QCOMPARE(offered, QStringList({"COM1", "COM2", "COM3", "COM3"}));
        run({"key", "Up", "Up"});
        QCOMPARE(readField("Combo1"), QString("COM1"));

        // Read fills the fields from the device.
        clickOn("ReadCMD");
        QVERIFY(answerMessageBox("read"));
        QVERIFY(deviceLog(0).contains("<- 3f 36 0d 0a"));
        QCOMPARE(readField("Text1Num"), QString("101"));
        QCOMPARE(readField("Text3Num"), QString("303"));
        QCOMPARE(readField("Text4Num"), QString("Ив 4"));
        QCOMPARE(readField("TextFreeNum"), QString("*7#"));

        // Edit two fields, moving between them with Tab; leading blanks go.
        clickOn("Text1Num");
        run({"key", "ctrl+a"});
        run({"type", "--delay", "20", "  900"});
        run({"key", "Tab", "ctrl+a"});
        run({"type", "--delay", "20", "+7 495"});
        QCOMPARE(readField("Text1Num"), QString("900"));
        QCOMPARE(readField("Text2Num"), QString("+7 495"));

        // Save sends exactly the values shown.
        clickOn("SaveCMD");
        QVERIFY(answerMessageBox("saved"));
        const QByteArray saveLine = "!900,+7 495,303,\xc8\xe2 4,505,*7#,\r\n";
        QVERIFY2(deviceLog(0).contains("<- " + saveLine.toHex(' ')), qPrintable(saveLine));

        // A silent port and a garbling one, typed into the selector.
        for (const auto& [port, name] :
             {std::pair{"COM2", "no-answer"}, {"COM3", "check-fields"}}) {
            clickOn("Combo1");
            run({"key", "ctrl+a"});
            run({"type", "--delay", "20", port});
            clickOn("ReadCMD");
            QVERIFY(answerMessageBox(name));
        }
        QCOMPARE(readField("Text1Num"), QString("900"));

        // The link opens the site in the browser (checked where the browser is a recorder).
        if (!browsed.isEmpty()) {
            clickOn("Label10");
            QFile record(browsed);
            for (int i = 0; i < 100 && !record.exists(); ++i)
                QTest::qWait(100);
            QTest::qWait(200);
            QVERIFY(record.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(record.readAll()).trimmed(), Form1::websiteUrl());
        }

        // Exit writes the file and ends the program.
        clickOn("ExitCMD");
        QVERIFY(m_app.waitForFinished(5000));
        QCOMPARE(m_app.exitCode(), 0);
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(settings.readAll(),
                 QByteArray("\"900\",\"+7 495\",\"303\",\"\xc8\xe2 4\",\"505\",\"*7#\"\r\n"));
        QCOMPARE(QDir(m_artefacts).entryList({"*.png"}).size(), 5);
    }

    // Installed for the machine and started from the Start menu by a user who may not write into
    // the program's folder: Exit keeps the values in the user's own folder, and the next start
    // from the menu shows them.
    void startMenuStartKeepsTheValuesInTheUsersFolder() {
        const QString shortcut = qEnvironmentVariable("E2E_WINDOWS_SHORTCUT");
        if (shortcut.isEmpty())
            QSKIP("the Start-menu shortcut is the Windows installer's (E2E_WINDOWS_SHORTCUT)");
        const QString prefix = qEnvironmentVariable("WINEPREFIX");
        const auto startFromMenu = [&] {
            // As the shell does: the shortcut opened from the system folder.
            QProcess start;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove("WINEQT_QPA_PLATFORM");
            start.setProcessEnvironment(env);
            start.setWorkingDirectory(prefix + "/drive_c/windows/system32");
            start.start(QStringLiteral("wine"), {"start", "/unix", shortcut});
            return start.waitForFinished(60000) && waitForWindow();
        };
        QVERIFY2(startFromMenu(), "the window did not appear");
        QTest::qWait(500);
        clickOn("Text1Num");
        run({"key", "ctrl+a"});
        run({"type", "--delay", "20", "+7 900 123"});
        QCOMPARE(readField("Text1Num"), QString("+7 900 123"));
        clickOn("ExitCMD");
        QVERIFY2(waitForWindowGone(), "Exit did not end the program");

        QStringList kept;
        const QDir users(prefix + "/drive_c/users");
        for (const QString& user : users.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString file = users.filePath(user + "/AppData/Local/dialer-config/Velkor.ini");
            if (QFile::exists(file))
                kept << file;
        }
        QCOMPARE(kept.size(), 1);
        QFile file(kept[0]);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("\"+7 900 123\",\"222222222\","));
        QVERIFY(!QFile::exists(QFileInfo(m_windows).dir().filePath("Velkor.ini")));

        QVERIFY2(startFromMenu(), "the window did not appear again");
        QCOMPARE(readField("Text1Num"), QString("+7 900 123"));
        clickOn("ExitCMD");
        QVERIFY(waitForWindowGone());
        run({"-k"}, 30000, QStringLiteral("wineserver"));
    }

    // Windows numbered the dialers' adapters COM12 and COM15: they are offered beside COM1, and a
    // Read reaches each, chosen from the list or typed; a typed port that does not exist reaches
    // none.
    void adaptersAboveNineAreOfferedAndTypedNamesReachThem() {
        if (m_windows.isEmpty())
            QSKIP("ports above COM9 are Windows' own");
        stopDevices();
        const QStringList ports{"COM1", "COM12", "COM15"};
        QStringList devices;
        for (const char *values : {"1,1,1,1,1,1", "12,12,12,12,12,12", "15,15,15,15,15,15"})
            devices << startDevice({"--values", values});
        QVERIFY(!devices.contains(QString()));
        for (int n = 2; n <= 9; ++n)
            wine({"reg", "delete", "HKLM\\Software\\Wine\\Ports", "/v", QString("COM%1").arg(n),
                  "/f"});
        for (int i = 0; i < ports.size(); ++i)
            wine({"reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", ports[i], "/t", "REG_SZ", "/d",
                  devices[i], "/f"});
        run({"-k"}, 30000, QStringLiteral("wineserver"));
        const QString work = m_dir.filePath("beyond-nine");
        QVERIFY(QDir().mkpath(work));
        QVERIFY2(startWindow(work), "the window did not appear");
        QTest::qWait(500);

        QStringList offered{readField("Combo1")};
        for (int i = 0; i < 9; ++i) {
            run({"key", "Down"});
            const QString next = readField("Combo1");
            if (next == offered.last())
                break;
            offered << next;
        }
        // The machine's own serial ports may be offered too; the three dialers must be.
        QVERIFY2(offered.size() >= 3, qPrintable(offered.join(u' ')));
        for (const QString& port : offered)
            QVERIFY(readFrom(port, "listed-" + port));
        for (int i = 0; i < ports.size(); ++i)
            QVERIFY2(deviceLog(i).contains("<- 3f 36 0d 0a"), qPrintable(ports[i]));

        for (int i = 1; i < ports.size(); ++i) {
            QVERIFY(readFrom(ports[i], "typed-" + ports[i]));
            for (int j = 0; j < ports.size(); ++j)
                QCOMPARE(deviceLog(j).contains("<- 3f 36 0d 0a"), i == j);
        }
        QVERIFY(readFrom("COM13", "typed-absent"));
        for (int j = 0; j < ports.size(); ++j)
            QVERIFY(!deviceLog(j).contains("<- "));
        endWindow();
    }

    // The fields show their text at 100 % and at 150 %: dark pixels inside every field.
    void fieldsShowTheirText_data() {
        QTest::addColumn<int>("dpi");
        QTest::newRow("100 %") << 96;
        QTest::newRow("150 %") << 144;
    }
    void fieldsShowTheirText() {
        if (m_windows.isEmpty())
            QSKIP("the font engine is chosen for wine");
        QFETCH(int, dpi);
        wine({"reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
              "/d", QString::number(dpi), "/f"});
        run({"-k"}, 30000, QStringLiteral("wineserver"));
        const QString work = m_dir.filePath(QString("dpi%1").arg(dpi));
        QVERIFY(QDir().mkpath(work));
        QVERIFY2(startWindow(work), "the window did not appear");
        QTest::qWait(1500);
        const QImage shot =
            QGuiApplication::primaryScreen()->grabWindow(m_driver.window().toULongLong()).toImage();
        shot.save(QString("%1/text-%2dpi.png").arg(m_artefacts).arg(dpi));
        endWindow();
        wine({"reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
              "/d", "96", "/f"});

        const double scale =
            shot.width() * double(FormLayout::TwipsPerPixel) / FormLayout::ClientWidthTwips;
        QVERIFY2(qAbs(scale - dpi / 96.0) < 0.1, qPrintable(QString::number(shot.width())));
        for (const char *field : FormLayout::FieldNames) {
            const QRect r = XWindowDriver::rectOf(field);
            const QRect inside = QRectF(QPointF(r.topLeft()) * scale + QPointF(4, 4),
                                        QPointF(r.bottomRight()) * scale - QPointF(4, 4))
                                     .toRect()
                                     .intersected(shot.rect());
            int dark = 0;
            for (int y = inside.top(); y <= inside.bottom(); ++y)
                for (int x = inside.left(); x <= inside.right(); ++x)
                    dark += qGray(shot.pixel(x, y)) < 96 ? 1 : 0;
            QVERIFY2(dark >= 20, qPrintable(QString("%1: %2 dark pixels").arg(field).arg(dark)));
        }
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_e2e.moc"
