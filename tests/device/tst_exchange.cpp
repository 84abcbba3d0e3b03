#include "DialerSimulator.h"
#include "TestSupport.h"
#include "device/DeviceMessages.h"
#include "device/ExchangeController.h"
#include "settings/AnsiText.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

namespace {

// The window's side of an exchange, without a window.
class FakeHost : public ExchangeHost {
public:
    QString selector = "COM1";
    DialerSettings record = DialerSettings::defaults();
    qint16 correct = 0;
    QStringList messages;
    QStringList parsed;
    std::function<void()> whileShowing;

    QString portSelectorText() const override { return selector; }
    const DialerSettings& settings() const override { return record; }
    void SortLine(const QString& sLine) override {
        parsed << sLine;
        correct = 0;
        if (const auto values = DeviceMessages::parseReadResponse(sLine)) {
            record = *values;
            correct = 1;
        }
    }
    qint16 CorrectData() const override { return correct; }
    void showInfo(const QString& text) override {
        messages << text;
        if (whileShowing)
            whileShowing();
    }
};

QByteArray wire(const QString& text) {
    return *AnsiText::encode(text);
}

} // namespace

Q_DECLARE_METATYPE(DialerSimulator::Behaviour)

class ExchangeTest : public QObject {
    Q_OBJECT

    DialerSimulator m_device;
    SerialPort m_port;
    FakeHost m_host;
    std::unique_ptr<ExchangeController> m_exchange;
    QList<qint64> m_verdictAfterMs;
    QList<Outcome> m_verdicts;
    QElapsedTimer m_sincePress;

    void press(bool save) {
        m_sincePress.start();
        if (save)
            m_exchange->SaveCMD_Click();
        else
            m_exchange->ReadCMD_Click();
    }

    // Presses, then waits until the exchange is over.
    void run(bool save) {
        QSignalSpy ended(m_exchange.get(), &ExchangeController::exchangeEnded);
        press(save);
        QVERIFY(ended.size() == 1 || ended.wait(3000));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_device.open()); }

    void init() {
        m_device.setBehaviour({});
        m_device.setValues({"101", "202", "303", "404", "505", "*7#"});
        m_device.clearReceived();
        PortMap map;
        map.setDevice(1, {m_device.portPath(), {}});
        m_port.setPortMap(map);
        (void)m_port.setSettings("115200,N,8,1");
        m_host = FakeHost();
        m_exchange = std::make_unique<ExchangeController>(m_port, m_host);
        m_verdicts.clear();
        m_verdictAfterMs.clear();
        connect(m_exchange.get(), &ExchangeController::verdictReached, this, [this](Outcome o) {
            m_verdicts << o;
            m_verdictAfterMs << m_sincePress.elapsed();
        });
    }

    void cleanup() {
        m_exchange.reset();
        (void)m_port.setPortOpen(false);
    }

    void oneExchangeOneVerdict_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<DialerSimulator::Behaviour>("behaviour");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("collected");
        const QString reply = "!101,202,303,404,505,*7#,\r\n";
        const QString saveLine =
            "!111111111,222222222,333333333,444444444,555555555,*123*123456789#,\r\n";
        QTest::newRow("read answered")
            << false << DialerSimulator::Behaviour{} << Outcome::Read << reply;
        QTest::newRow("save acknowledged")
            << true << DialerSimulator::Behaviour{} << Outcome::Saved << "OK\r\n";
        QTest::newRow("read, no answer")
            << false << DialerSimulator::Behaviour{.silent = true} << Outcome::NoAnswer << "";
        QTest::newRow("save, no answer")
            << true << DialerSimulator::Behaviour{.silent = true} << Outcome::NoAnswer << "";
        QTest::newRow("reply split over many receive events")
            << false << DialerSimulator::Behaviour{.chunkBytes = 3, .chunkGapMs = 15}
            << Outcome::Read << reply;
        QTest::newRow("slow but in time")
            << false << DialerSimulator::Behaviour{.delayMs = 300} << Outcome::Read << reply;
        QTest::newRow("reply completing after the tick")
            << false
            << DialerSimulator::Behaviour{.delayMs = 350, .chunkBytes = 9, .chunkGapMs = 100}
            << Outcome::CheckFields << "!101,202,303,404,5";
        QTest::newRow("reply entirely after the tick")
            << false << DialerSimulator::Behaviour{.delayMs = 650} << Outcome::NoAnswer << "";
        QTest::newRow("acknowledgement after an echo is a reply of six fields")
            << true << DialerSimulator::Behaviour{.echo = true} << Outcome::Read
            << saveLine + "OK\r\n";
        QTest::newRow("read request echoed") << false << DialerSimulator::Behaviour{.echo = true}
                                             << Outcome::Read << "?6\r\n" + reply;
    }
    void oneExchangeOneVerdict() {
        QFETCH(bool, save);
        QFETCH(DialerSimulator::Behaviour, behaviour);
        QFETCH(Outcome, outcome);
        QFETCH(QString, collected);
        m_device.setBehaviour(behaviour);
        const DialerSettings sent = m_host.record;
        run(save);

        QCOMPARE(m_verdicts, QList<Outcome>{outcome});
        QCOMPARE(m_host.messages, QStringList{outcomeMessage(outcome)});
        QCOMPARE(m_exchange->TheData(), collected);
        QCOMPARE(m_device.received(),
                 save ? wire(DeviceMessages::SaveCommand(sent)) : QByteArray("?6\r\n"));
        // The verdict is due 500 ms after the press.
        QVERIFY2(m_verdictAfterMs[0] >= 499 && m_verdictAfterMs[0] < 650,
                 qPrintable(QString::number(m_verdictAfterMs[0])));
        QVERIFY(!m_port.PortOpen());
        QVERIFY(!m_exchange->timer().isActive());
        QCOMPARE(m_exchange->state(), ExchangeController::State::Idle);
        QCOMPARE(m_exchange->PortNum(), QString("1"));
        if (outcome == Outcome::NoAnswer || outcome == Outcome::Saved)
            QVERIFY(m_host.parsed.isEmpty());
        else
            QCOMPARE(m_host.parsed, QStringList{collected});
    }

    void readFillsTheRecordAndSaveStoresIt() {
        run(false);
        QCOMPARE(values(m_host.record), QStringList({"101", "202", "303", "404", "505", "*7#"}));
        m_host.record.PhoneNum2 = "Я 8";
        run(true);
        QCOMPARE(m_verdicts.last(), Outcome::Saved);
        QCOMPARE(m_device.values(),
                 QList<QByteArray>({"101", "\xdf 8", "303", "404", "505", "*7#"}));
    }

    void twoExchangesInARowDoNotMix() {
        m_device.setBehaviour({.floodBytes = 0});
        run(false);
        m_device.setBehaviour({.silent = true});
        m_device.send("late bytes"); // arrive while the port is closed: discarded at the opening
        run(false);
        QCOMPARE(m_verdicts, QList<Outcome>({Outcome::Read, Outcome::NoAnswer}));
        QCOMPARE(m_exchange->TheData(), QString());
        QCOMPARE(m_device.received(), QByteArray("?6\r\n?6\r\n"));
    }

    void intervalIs500AtEveryExchange() {
        for (int i = 0; i < 2; ++i) {
            m_device.setBehaviour({.silent = true});
            press(false);
            QCOMPARE(m_exchange->timer().interval(), 500);
            QCOMPARE(m_exchange->timer().timerType(), Qt::PreciseTimer);
            QSignalSpy ended(m_exchange.get(), &ExchangeController::exchangeEnded);
            QVERIFY(ended.wait(3000));
        }
    }

    void pressWhileCollectingIsIgnored() {
        m_device.setBehaviour({.delayMs = 200});
        QSignalSpy ended(m_exchange.get(), &ExchangeController::exchangeEnded);
        press(false);
        QTest::qWait(50);
        m_exchange->SaveCMD_Click();
        m_exchange->ReadCMD_Click();
        QVERIFY(ended.wait(3000));
        QTest::qWait(700);
        QCOMPARE(m_verdicts, QList<Outcome>{Outcome::Read});
        QCOMPARE(m_device.received(), QByteArray("?6\r\n"));
    }

    // While the message box is open Qt keeps delivering timer ticks and received characters.
    void modalMessageStillGivesOneVerdict() {
        m_device.setBehaviour({.delayMs = 100, .floodBytes = 3000});
        m_host.whileShowing = [] {
            QEventLoop loop;
            QTimer::singleShot(1200, &loop, &QEventLoop::quit);
            loop.exec();
        };
        run(false);
        QCOMPARE(m_verdicts.size(), 1);
        QCOMPARE(m_host.messages.size(), 1);
        QVERIFY(!m_port.PortOpen());
    }

    void selectorEditWhileCollectingClosesThePort() {
        m_device.setBehaviour({.chunkBytes = 5, .chunkGapMs = 100});
        QSignalSpy ended(m_exchange.get(), &ExchangeController::exchangeEnded);
        press(false);
        QTRY_VERIFY(m_exchange->TheData().size() >= 5);
        (void)m_port.setPortOpen(false); // what the selector's change handler does
        const QString before = m_exchange->TheData();
        QVERIFY(ended.wait(3000));
        QCOMPARE(m_exchange->TheData(), before);
        QCOMPARE(m_verdicts, QList<Outcome>{Outcome::CheckFields});
        QVERIFY(!m_port.PortOpen());
    }

    void portThatCannotBeOpenedIsReportedAndNothingRuns_data() {
        QTest::addColumn<QString>("selector");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("named");
        QTest::newRow("missing") << "COM4" << false << "COM4";
        QTest::newRow("port 0") << "COM" << false << "COM0";
        QTest::newRow("busy") << "COM1" << true << "COM1";
    }
    void portThatCannotBeOpenedIsReportedAndNothingRuns() {
        QFETCH(QString, selector);
        QFETCH(bool, busy);
        QFETCH(QString, named);
        QSerialPort holder(m_device.portPath());
        if (busy)
            QVERIFY(holder.open(QIODevice::ReadWrite));
        m_host.selector = selector;
        QSignalSpy ended(m_exchange.get(), &ExchangeController::exchangeEnded);
        press(false);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(m_host.messages.size(), 1);
        QVERIFY(m_host.messages[0].startsWith("Не удалось открыть порт " + named));
        QCOMPARE(m_exchange->state(), ExchangeController::State::Idle);
        QVERIFY(!m_exchange->timer().isActive());
        QTest::qWait(20);
        QCOMPARE(m_device.received(), QByteArray());
        QVERIFY(m_verdicts.isEmpty());
    }

    void saveTheLineCannotCarryIsRefusedBeforeSending_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("comma") << "1,2";
        QTest::newRow("CR") << "1\r";
        QTest::newRow("LF") << "\n";
        QTest::newRow("outside windows-1251") << QString::fromUtf16(u"\u4e2d");
    }
    void saveTheLineCannotCarryIsRefusedBeforeSending() {
        QFETCH(QString, value);
        m_host.record.FreeNum = value;
        press(true);
        QCOMPARE(m_host.messages, QStringList{outcomeMessage(Outcome::CheckFields)});
        QVERIFY(!m_port.PortOpen());
        QCOMPARE(m_exchange->state(), ExchangeController::State::Idle);
        QTest::qWait(20);
        QCOMPARE(m_device.received(), QByteArray());
        m_exchange->ReadCMD_Click(); // a read is still possible
        QVERIFY(m_port.PortOpen());
    }

    void deviceVanishingMidExchangeEndsInAVerdict() {
        m_device.setBehaviour({.chunkBytes = 8, .chunkGapMs = 80});
        QSignalSpy ended(m_exchange.get(), &ExchangeController::exchangeEnded);
        press(false);
        QTRY_VERIFY(m_exchange->TheData().size() >= 8);
        m_device.vanish();
        QVERIFY(ended.wait(3000));
        QCOMPARE(m_verdicts, QList<Outcome>{Outcome::CheckFields});
        QVERIFY(m_exchange->TheData().startsWith("!101,202"));
        QVERIFY(!m_port.PortOpen());
        QVERIFY(m_device.open()); // a fresh device for the tests that follow
    }

    void floodIsBoundedAndTheVerdictOnTime() {
        m_device.setBehaviour({.floodBytes = 6 * 1024 * 1024});
        run(false);
        QCOMPARE(m_exchange->TheData().size(), ExchangeController::MaxCollected);
        QVERIFY(m_exchange->TheData().startsWith("!101,202,303,404,505,*7#,\r\nFLOOD"));
        QCOMPARE(m_verdicts, QList<Outcome>{Outcome::Read});
        QVERIFY2(m_verdictAfterMs[0] < 650, qPrintable(QString::number(m_verdictAfterMs[0])));
    }

    void binaryBytesInAReplyAreKept() {
        m_device.setBehaviour({.silent = true});
        press(false);
        m_device.send(QByteArray("\0\xff\x98,\0,2,3,4,5,\x01,\r\n", 19));
        QSignalSpy ended(m_exchange.get(), &ExchangeController::exchangeEnded);
        QVERIFY(ended.wait(3000));
        QCOMPARE(m_verdicts, QList<Outcome>{Outcome::Read});
        QCOMPARE(values(m_host.record), QStringList({QString::fromUtf16(u"\u044f\u0098"),
                                                     QString(QChar(0)), "2", "3", "4", "5"}));
    }
};

QTEST_GUILESS_MAIN(ExchangeTest)
#include "tst_exchange.moc"
