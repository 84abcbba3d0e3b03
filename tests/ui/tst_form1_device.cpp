// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "DialerSimulator.h"
#include "EncodedSettingsFiles.h"
#include "ExchangeOpening.h"
#include "HangingOpening.h"
#include "TestSupport.h"
#include "device/DialerProtocol.h"
#include "text/AnsiText.h"
#include "ui/Form1.h"
#include "ui/FormLayout.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The window wired to simulated dialers: discovery, the buttons, the selector, Exit.
class Form1DeviceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_messages;
    std::vector<std::unique_ptr<DialerSimulator>> m_devices;
    PortMap m_map;

    DialerSimulator& addDevice(int port) {
        m_devices.push_back(std::make_unique<DialerSimulator>());
        DialerSimulator& device = *m_devices.back();
        if (!device.open())
            qFatal("no pseudo-terminal");
        m_map.setDevice(port, {device.portPath(), "simulated dialer"});
        return device;
    }

    std::unique_ptr<Form1> makeForm(bool presenter = true) {
        auto form = std::make_unique<Form1>();
        form->setSettingsStore(SettingsStore(m_dir.filePath("Velkor.ini")));
        form->setPortMap(m_map);
        if (presenter)
            form->setInfoPresenter([this](const QString& text) { m_messages << text; });
        form->Form_Load();
        form->show();
        // The ports are tried apart and offered as they are found: the tests start once all are.
        if (!QTest::qWaitFor([&form] { return !form->isProbingPorts(); }, 3000))
            qWarning("the start-up probe did not end");
        return form;
    }

    static QComboBox *selector(Form1& form) { return form.findChild<QComboBox *>("Combo1"); }

    static void click(Form1& form, const char *button) {
        QTest::mouseClick(form.findChild<QPushButton *>(button), Qt::LeftButton);
        QVERIFY(openingTakenUp(form.exchange()));
    }

    static bool waitForEnd(Form1& form) {
        QSignalSpy ended(&form.exchange(), &ExchangeController::exchangeEnded);
        return ended.wait(3000);
    }

private Q_SLOTS:
    void init() {
        m_messages.clear();
        m_devices.clear();
        m_map = PortMap();
        QFile::remove(m_dir.filePath("Velkor.ini"));
    }

    void offersThePortsThatOpenFirstSelected() {
        addDevice(5);
        addDevice(3);
        m_map.setDevice(1, {"/dev/no-such-dialer", {}});
        const auto form = makeForm();
        QComboBox *combo = selector(*form);
        QVERIFY(combo->isEnabled());
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(0), QString("COM3"));
        QCOMPARE(combo->itemText(1), QString("COM5"));
        QCOMPARE(combo->currentText(), QString("COM3"));
        QVERIFY(
            combo->itemData(0, Qt::ToolTipRole).toString().startsWith(m_devices[1]->portPath()));
        QVERIFY(!form->serialPort().PortOpen());
    }

    void noPortLeavesTheSelectorInItsDesignState() {
        const auto form = makeForm();
        QComboBox *combo = selector(*form);
        QVERIFY(!combo->isEnabled());
        QCOMPARE(combo->count(), 0);
        QCOMPARE(combo->currentText(), QString("COM"));
        QCOMPARE(combo->toolTip(), QString("Select COM Port"));
        click(*form, "ReadCMD");
        QCOMPARE(form->exchange().PortNum(), QString("0"));
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].startsWith("Не удалось открыть порт COM0"));
    }

    void busyPortIsNotOfferedEvenWhenReleasedButCanBeTyped() {
        addDevice(2);
        DialerSimulator& busy = addDevice(7);
        auto holder = std::make_unique<QSerialPort>(busy.portPath());
        QVERIFY(holder->open(QIODevice::ReadWrite));
        const auto form = makeForm();
        QComboBox *combo = selector(*form);
        QCOMPARE(combo->count(), 1);
        QVERIFY(combo->toolTip().contains("COM7"));
        holder.reset();
        QCOMPARE(combo->count(), 1);

        combo->setEditText("COM7");
        click(*form, "ReadCMD");
        QVERIFY(waitForEnd(*form));
        QCOMPARE(form->exchange().PortNum(), QString("7"));
        QCOMPARE(busy.received(), QByteArray("?6\r\n"));
        QCOMPARE(m_messages, QStringList{"Успешно считано"});
    }

    void readFillsTheFieldsAndSaveSendsWhatIsShown() {
        DialerSimulator& device = addDevice(1);
        device.setValues({"  101", "202", "", "404", "505", "*7#"});
        const auto form = makeForm();
        // The order the user sees: the values are in the fields when the message appears, and
        // the port closes only once it has been dismissed.
        QString shownWithMessage;
        bool openWithMessage = false;
        form->setInfoPresenter([&](const QString& text) {
            m_messages << text;
            shownWithMessage = form->findChild<QLineEdit *>("Text1Num")->text();
            openWithMessage = form->serialPort().PortOpen();
        });
        click(*form, "ReadCMD");
        QVERIFY(waitForEnd(*form));
        QCOMPARE(m_messages, QStringList{"Успешно считано"});
        QCOMPARE(shownWithMessage, QString("101"));
        QVERIFY(openWithMessage);
        QVERIFY(!form->serialPort().PortOpen());
        QCOMPARE(form->CorrectData(), qint16(1));
        const QStringList expected{"101", "202", "", "404", "505", "*7#"};
        QCOMPARE(values(form->settings()), expected);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(form->findChild<QLineEdit *>(FormLayout::FieldNames[i])->text(), expected[i]);

        QLineEdit *third = form->findChild<QLineEdit *>("Text3Num");
        QTest::keyClicks(third, " 33");
        device.clearReceived();
        click(*form, "SaveCMD");
        QVERIFY(waitForEnd(*form));
        QCOMPARE(m_messages.last(), QString("Настройки сохранены  "));
        QCOMPARE(device.received(), QByteArray("!101,202,33,404,505,*7#,\r\n"));
    }

    void selectorEditClosesAnOpenPortAndNothingElse() {
        DialerSimulator& device = addDevice(1);
        device.setBehaviour({.silent = true});
        const auto form = makeForm();
        QComboBox *combo = selector(*form);
        combo->setEditText("COM2"); // no exchange: only the text changes
        QCOMPARE(form->exchange().PortNum(), QString());
        combo->setEditText("COM1");

        click(*form, "ReadCMD");
        QVERIFY(form->serialPort().PortOpen());
        QTest::keyClick(combo->lineEdit(), Qt::Key_End);
        QTest::keyClicks(combo->lineEdit(), "0");
        QVERIFY(!form->serialPort().PortOpen());
        QVERIFY(waitForEnd(*form));
        QCOMPARE(m_messages.last(), outcomeMessage(Outcome::NoAnswer));
        QCOMPARE(combo->count(), 1);
    }

    void exitDuringAnExchangeSavesClosesAndShowsNoVerdict() {
        DialerSimulator& device = addDevice(1);
        device.setBehaviour({.delayMs = 100});
        const auto form = makeForm();
        QSignalSpy verdicts(&form->exchange(), &ExchangeController::verdictReached);
        click(*form, "ReadCMD");
        QVERIFY(form->serialPort().PortOpen());
        click(*form, "ExitCMD");
        QVERIFY(!form->serialPort().PortOpen());
        QVERIFY(!form->isVisible());
        QVERIFY(QFile::exists(m_dir.filePath("Velkor.ini")));
        QTest::qWait(700);
        QCOMPARE(verdicts.size(), 0);
        QVERIFY(m_messages.isEmpty());
    }

    void deviceVanishingMidExchangeLosesNothing() {
        DialerSimulator& device = addDevice(1);
        device.setBehaviour({.chunkBytes = 6, .chunkGapMs = 100});
        const auto form = makeForm();
        const DialerSettings before = form->settings();
        click(*form, "ReadCMD");
        QTRY_VERIFY(form->exchange().TheData().size() >= 6);
        device.vanish();
        QVERIFY(waitForEnd(*form));
        QCOMPARE(m_messages, QStringList{outcomeMessage(Outcome::CheckFields)});
        QCOMPARE(form->settings(), before);
        QVERIFY(!form->serialPort().PortOpen());
        click(*form, "ExitCMD");
        QVERIFY(!form->isVisible());
        QVERIFY(QFile::exists(m_dir.filePath("Velkor.ini")));
    }

    // A port whose opening hangs (a Bluetooth link, an rfcomm device) holds up nothing: the window
    // goes on, a press meanwhile is ignored, and after about 1.5 s the press is told why.
    void exchangeWhoseOpeningHangsLeavesTheWindowGoingOn() {
        DialerSimulator& device = addDevice(1);
        const auto form = makeForm();
        HangingOpening hang(device.portPath());
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
        tick.start(50);
        QSignalSpy ended(&form->exchange(), &ExchangeController::exchangeEnded);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(form->findChild<QPushButton *>("ReadCMD"), Qt::LeftButton);
        QTest::qWait(300);
        QTest::mouseClick(form->findChild<QPushButton *>("SaveCMD"), Qt::LeftButton);
        QVERIFY(ended.wait(3000));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 1400 && elapsed < 2500, qPrintable(QString::number(elapsed)));
        QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks))); // the window kept answering
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].startsWith("Не удалось открыть порт COM1") &&
                     m_messages[0].contains("порт не открылся за 1,5 с"),
                 qPrintable(m_messages[0]));
        QCOMPARE(ended.size(), 1); // the Save pressed meanwhile was ignored
        hang.release();
        QTRY_COMPARE(hang.openingsReturned(), 1);
        click(*form, "ReadCMD");
        QVERIFY(waitForEnd(*form));
        QCOMPARE(m_messages.last(), outcomeMessage(Outcome::Read));
        QCOMPARE(device.received(), QByteArray("?6\r\n"));
    }

    void portTakenAtAPressIsReportedAndWorksOnceFree() {
        DialerSimulator& device = addDevice(1);
        const auto form = makeForm();
        auto holder = std::make_unique<QSerialPort>(device.portPath());
        QVERIFY(holder->open(QIODevice::ReadWrite));
        click(*form, "ReadCMD");
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].contains("COM1"));
        QVERIFY(m_messages[0].contains(device.portPath()));
        holder.reset();
        click(*form, "ReadCMD");
        QVERIFY(waitForEnd(*form));
        QCOMPARE(m_messages.last(), QString("Успешно считано"));
    }

    void floodOfMegabytesStillGivesItsVerdict() {
        DialerSimulator& device = addDevice(1);
        device.setBehaviour({.floodBytes = 8 << 20});
        const auto form = makeForm();
        QElapsedTimer clock;
        clock.start();
        click(*form, "ReadCMD");
        QVERIFY(waitForEnd(*form));
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_messages, QStringList{"Успешно считано"});
        QCOMPARE(form->settings().FreeNum, QString("*123*123456789#"));
    }

    // Bytes of every kind from the device reach the fields, the settings file and the next start.
    void binaryValuesSurviveTheSettingsFile() {
        DialerSimulator& device = addDevice(1);
        device.setValues({QByteArray("\0\x98\xff", 3), "\x01\x1f", "\xc0\xdf", "\"q\"", "\t", ""});
        DialerSettings read;
        {
            const auto form = makeForm();
            click(*form, "ReadCMD");
            QVERIFY(waitForEnd(*form));
            QCOMPARE(form->CorrectData(), qint16(1));
            read = form->settings();
            click(*form, "ExitCMD");
        }
        QCOMPARE(read.PhoneNum3, QString("АЯ"));
        const auto again = makeForm();
        QCOMPARE(again->settings(), read);
        device.clearReceived();
        click(*again, "SaveCMD");
        QVERIFY(waitForEnd(*again));
        QCOMPARE(device.received(), QByteArray("!\0\x98\xff,\x01\x1f,\xc0\xdf,\"q\",\t,,\r\n", 20));
    }

    // What the user types is what Read uses: no completion from the list, no case folding, and
    // Enter does not swap the text for a list item.
    void selectorKeepsWhatIsTyped_data() {
        QTest::addColumn<QList<int>>("offered");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("port");
        QTest::newRow("the prefix of the one item") << QList<int>{3} << "COM"
                                                    << "0";
        QTest::newRow("lower case") << QList<int>{1, 3} << "com3"
                                    << "3";
        QTest::newRow("an item as it stands") << QList<int>{1, 3} << "COM1"
                                              << "1";
        // Never COM1 by its fourth character: a save would go to the wrong dialer.
        QTest::newRow("a COM name beyond the nine") << QList<int>{1, 3} << "COM12"
                                                    << "12";
    }
    void selectorKeepsWhatIsTyped() {
        QFETCH(QList<int>, offered);
        QFETCH(QString, typed);
        QFETCH(QString, port);
        for (int n : offered)
            addDevice(n);
        const DialerSimulator& third = *m_devices.back();
        const auto form = makeForm();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QLineEdit *edit = selector(*form)->lineEdit();
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, typed);
        QCOMPARE(selector(*form)->currentText(), typed);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(selector(*form)->currentText(), typed);
        click(*form, "ReadCMD");
        QCOMPARE(form->exchange().PortNum(), port);
        if (port.toInt() >= 1 && port.toInt() <= 9)
            QVERIFY(waitForEnd(*form));
        else
            QVERIFY(m_messages.value(0).startsWith("Не удалось открыть порт COM" + port));
        QCOMPARE(third.received(), QByteArray(port == "3" ? "?6\r\n" : ""));
        QCOMPARE(m_devices.front()->received(), QByteArray(port == "1" ? "?6\r\n" : ""));
    }

    // A dialer plugged in after start-up is offered when the list opens: the earlier ports keep
    // their numbers, the text stays, and the exchange under way keeps going.
    void deviceAppearingLaterIsOfferedWhenTheListOpens() {
        DialerSimulator first;
        DialerSimulator later;
        QVERIFY(first.open() && later.open());
        first.setBehaviour({.silent = true});
        QList<PortMap::Candidate> present{{"ttyUSB1", first.portPath(), "first"}};
        auto form = std::make_unique<Form1>();
        form->setSettingsStore(SettingsStore(m_dir.filePath("Velkor.ini")));
        form->setPortSource([&present] { return PortMap::fromDevices(present); });
        form->setInfoPresenter([this](const QString& text) { m_messages << text; });
        form->Form_Load();
        form->show();
        QComboBox *combo = selector(*form);
        QTRY_COMPARE(combo->count(), 1);

        click(*form, "ReadCMD");
        QVERIFY(form->serialPort().PortOpen());
        present.prepend({"ttyUSB0", later.portPath(), "later"}); // sorts first, numbered next
        combo->showPopup();
        combo->hidePopup();
        QTRY_COMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(0), QString("COM1"));
        QCOMPARE(combo->itemText(1), QString("COM2"));
        QVERIFY(combo->itemData(1, Qt::ToolTipRole).toString().startsWith(later.portPath()));
        QCOMPARE(combo->currentText(), QString("COM1"));
        QVERIFY(form->serialPort().PortOpen());
        QVERIFY(waitForEnd(*form));
        QCOMPARE(m_messages, QStringList{outcomeMessage(Outcome::NoAnswer)});
        QCOMPARE(first.received(), QByteArray("?6\r\n"));

        combo->setEditText("COM2");
        combo->showPopup();
        combo->hidePopup();
        QCOMPARE(combo->currentText(), QString("COM2"));
        click(*form, "ReadCMD");
        QVERIFY(waitForEnd(*form));
        QCOMPARE(later.received(), QByteArray("?6\r\n"));
        QCOMPARE(m_messages.last(), outcomeMessage(Outcome::Read));
    }

    // With nothing offered the list cannot open; the window looks again when it is activated.
    void firstDeviceAppearingLaterWakesTheSelector() {
        DialerSimulator device;
        QVERIFY(device.open());
        QList<PortMap::Candidate> present;
        auto form = std::make_unique<Form1>();
        form->setSettingsStore(SettingsStore(m_dir.filePath("Velkor.ini")));
        form->setPortSource([&present] { return PortMap::fromDevices(present); });
        form->Form_Load();
        form->show();
        QVERIFY(!selector(*form)->isEnabled());
        present << PortMap::Candidate{"ttyACM0", device.portPath(), {}};
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTRY_VERIFY(selector(*form)->isEnabled());
        QCOMPARE(selector(*form)->currentText(), QString("COM1"));
    }

    // A settings file saved by an editor shows the values as they were typed there, Save sends
    // them in the line's code page, and Exit writes the file back as it always writes it.
    void settingsFileInAnyEditorsEncoding_data() { addEncodedSettingsFileRows(); }
    void settingsFileInAnyEditorsEncoding() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, values);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, exitFile);
        DialerSimulator& device = addDevice(1);
        QFile settings(m_dir.filePath("Velkor.ini"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(file);
        settings.close();
        const auto form = makeForm();
        QStringList shown;
        for (const char *name : FormLayout::FieldNames)
            shown << form->findChild<QLineEdit *>(name)->text();
        QCOMPARE(shown, values);
        click(*form, "SaveCMD");
        QVERIFY(waitForEnd(*form));
        QCOMPARE(device.received(), sent);
        click(*form, "ExitCMD");
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(settings.readAll(), exitFile);
    }

    // A port whose opening hangs (a Bluetooth link) holds nothing up: the window is ready with the
    // other ports, a refresh meanwhile starts no second opening of it, and once the opening
    // returns the port is closed and the next look at the list offers it.
    void portWhoseOpeningHangsHoldsNothingUp() {
        addDevice(2);
        DialerSimulator& slow = addDevice(4);
        HangingOpening hang(slow.portPath());
        QElapsedTimer loading;
        loading.start();
        const auto form = makeForm();
        QVERIFY2(loading.elapsed() < 2000, qPrintable(QString::number(loading.elapsed())));
        QComboBox *combo = selector(*form);
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->currentText(), QString("COM2"));
        QVERIFY(combo->toolTip().contains("COM4"));
        combo->showPopup();
        combo->hidePopup();
        QTest::qWait(100);
        QCOMPARE(hang.openingsStarted(), 1);

        hang.release();
        QTRY_VERIFY(!form->isProbingPorts());
        QTRY_COMPARE(hang.openingsReturned(), hang.openingsStarted());
        QTRY_VERIFY([&slow] {
            return QSerialPort(slow.portPath()).open(QIODevice::ReadWrite);
        }());
        combo->showPopup();
        combo->hidePopup();
        QTRY_COMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(1), QString("COM4"));
    }

    // The real message box: modal, titled "info", information icon, one OK button; the timer keeps
    // ticking behind it and still only one verdict comes.
    void verdictIsAModalInformationBox() {
        addDevice(1);
        const auto form = makeForm(false);
        QStringList seen;
        QTimer closer;
        closer.setInterval(50);
        connect(&closer, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen << box->windowTitle() << box->text();
            QCOMPARE(box->icon(), QMessageBox::Information);
            QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            QTest::qWait(600); // longer than the collection window
            box->button(QMessageBox::Ok)->click();
        });
        closer.start();
        QSignalSpy verdicts(&form->exchange(), &ExchangeController::verdictReached);
        click(*form, "ReadCMD");
        QVERIFY(waitForEnd(*form));
        closer.stop();
        QCOMPARE(verdicts.size(), 1);
        QCOMPARE(seen, QStringList({"info", "Успешно считано"}));
        QVERIFY(!form->serialPort().PortOpen());
    }
};

QTEST_MAIN(Form1DeviceTest)
#include "tst_form1_device.moc"
