// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "DialerSimulator.h"
#include "ExchangeOpening.h"
#include "RecordingHost.h"
#include "TestSupport.h"
#include "device/DialerProtocol.h"
#include "text/AnsiText.h"
#include "ui/ExchangeController.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray wire(const QString& text) {
    return *AnsiText::encode(text);
}

} // namespace

Q_DECLARE_METATYPE(DialerSimulator::Behaviour)

class ExchangeTest : public QObject {
    Q_OBJECT

    DialerSimulator m_device;
    RecordingHost m_host;
    std::unique_ptr<ExchangeController> m_exchange;
    QList<qint64> m_verdictAfterMs;
    QList<Outcome> m_verdicts;
    QElapsedTimer m_sincePress;

    SerialPort& port() { return m_exchange->port(); }

    void press(bool save) {
        m_sincePress.start();
        if (save)
            m_exchange->SaveCMD_Click();
        else
            m_exchange->ReadCMD_Click();
        QVERIFY(openingTakenUp(*m_exchange));
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
        m_host = RecordingHost();
        m_exchange = std::make_unique<ExchangeController>(m_host);
        m_host.follow(*m_exchange);
        port().setPortMap(mapOnly(1, m_device.portPath()));
        (void)port().setSettings("115200,N,8,1");
        m_verdicts.clear();
        m_verdictAfterMs.clear();
        connect(m_exchange.get(), &ExchangeController::verdictReached, this,
                [this](const Verdict& v) {
                    m_verdicts << v.outcome;
                    m_verdictAfterMs << m_sincePress.elapsed();
                });
    }

    void cleanup() { m_exchange.reset(); }

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
                 save ? wire(DialerProtocol::SaveCommand(sent)) : QByteArray("?6\r\n"));
        // The verdict is due 500 ms after the press.
        QVERIFY2(m_verdictAfterMs[0] >= 499 && m_verdictAfterMs[0] < 650,
                 qPrintable(QString::number(m_verdictAfterMs[0])));
        QVERIFY(!port().PortOpen());
        QVERIFY(!m_exchange->timer().isActive());
        QCOMPARE(m_exchange->state(), ExchangeController::State::Idle);
        QCOMPARE(m_exchange->PortNum(), QString("1"));
        QCOMPARE(m_host.verdicts[0].values.has_value(), outcome == Outcome::Read);
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
        QVERIFY(!port().PortOpen());
    }

    void selectorEditWhileCollectingClosesThePort() {
        m_device.setBehaviour({.chunkBytes = 5, .chunkGapMs = 100});
        QSignalSpy ended(m_exchange.get(), &ExchangeController::exchangeEnded);
        press(false);
        QTRY_VERIFY(m_exchange->TheData().size() >= 5);
        (void)port().setPortOpen(false); // what the selector's change handler does
        const QString before = m_exchange->TheData();
        QVERIFY(ended.wait(3000));
        QCOMPARE(m_exchange->TheData(), before);
        QCOMPARE(m_verdicts, QList<Outcome>{Outcome::CheckFields});
        QVERIFY(!port().PortOpen());
    }

    void portThatCannotBeOpenedIsReportedAndNothingRuns_data() {
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("named");
        QTest::newRow("missing") << 4 << false << "COM4";
        QTest::newRow("port 0") << 0 << false << "COM0";
        QTest::newRow("busy") << 1 << true << "COM1";
    }
    void portThatCannotBeOpenedIsReportedAndNothingRuns() {
        QFETCH(int, selected);
        QFETCH(bool, busy);
        QFETCH(QString, named);
        QSerialPort holder(m_device.portPath());
        if (busy)
            QVERIFY(holder.open(QIODevice::ReadWrite));
        m_host.port = selected;
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
        QVERIFY(!port().PortOpen());
        QCOMPARE(m_exchange->state(), ExchangeController::State::Idle);
        QTest::qWait(20);
        QCOMPARE(m_device.received(), QByteArray());
        QSignalSpy ended(m_exchange.get(), &ExchangeController::exchangeEnded);
        m_exchange->ReadCMD_Click(); // a read is still possible
        QVERIFY(openingTakenUp(*m_exchange));
        QVERIFY(port().PortOpen());
        QVERIFY(ended.wait(3000));
        QCOMPARE(m_device.received(), QByteArray("?6\r\n"));
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
        QVERIFY(!port().PortOpen());
        QVERIFY(m_device.open()); // a fresh device for the tests that follow
    }

    void floodIsBoundedAndTheVerdictOnTime() {
        m_device.setBehaviour({.floodBytes = qint64{6} * 1024 * 1024});
        run(false);
        QCOMPARE(m_exchange->TheData().size(), ExchangeController::MaxCollected);
        QVERIFY(m_exchange->TheData().startsWith("!101,202,303,404,505,*7#,\r\nFLOOD"));
        QCOMPARE(m_verdicts, QList<Outcome>{Outcome::Read});
        QVERIFY2(m_verdictAfterMs[0] < 650, qPrintable(QString::number(m_verdictAfterMs[0])));
    }

    // Exchanges share nothing: three run at once, each on its own dialer and judged on its own
    // reply, in one event loop.
    void exchangesOnSeveralPortsRunSideBySide() {
        struct Side {
            DialerSimulator device;
            RecordingHost host;
            ExchangeController exchange{host};
        };
        const QList<DialerSimulator::Behaviour> behaviours{{}, {.silent = true}, {.garbage = true}};
        const QList<Outcome> expected{Outcome::Read, Outcome::NoAnswer, Outcome::CheckFields};
        std::vector<std::unique_ptr<Side>> sides;
        for (const DialerSimulator::Behaviour& behaviour : behaviours) {
            auto side = std::make_unique<Side>();
            QVERIFY(side->device.open());
            side->device.setBehaviour(behaviour);
            side->device.setValues({"7", "8", "9", "10", "11", QByteArray::number(sides.size())});
            side->host.follow(side->exchange);
            side->exchange.port().setPortMap(mapOnly(1, side->device.portPath()));
            (void)side->exchange.port().setSettings("115200,N,8,1");
            sides.push_back(std::move(side));
        }
        sides[1]->host.record.FreeNum = "*1#";

        int ended = 0;
        for (std::size_t i = 0; i < sides.size(); ++i) {
            connect(&sides[i]->exchange, &ExchangeController::exchangeEnded, this,
                    [&ended] { ++ended; });
            i == 1 ? sides[i]->exchange.SaveCMD_Click() : sides[i]->exchange.ReadCMD_Click();
        }
        for (const auto& side : sides) {
            QVERIFY(openingTakenUp(side->exchange));
            QCOMPARE(side->exchange.state(), ExchangeController::State::Collecting);
        }
        QTRY_COMPARE_WITH_TIMEOUT(ended, 3, 3000);

        for (std::size_t i = 0; i < sides.size(); ++i) {
            const Side& side = *sides[i];
            QCOMPARE(side.host.verdicts.size(), 1);
            QCOMPARE(side.host.verdicts[0].outcome, expected[qsizetype(i)]);
            QCOMPARE(side.host.messages, QStringList{outcomeMessage(expected[qsizetype(i)])});
            QVERIFY(!side.exchange.port().PortOpen());
        }
        QCOMPARE(values(sides[0]->host.record), QStringList({"7", "8", "9", "10", "11", "0"}));
        QCOMPARE(sides[0]->device.received(), QByteArray("?6\r\n"));
        QCOMPARE(sides[1]->device.received(),
                 QByteArray("!111111111,222222222,333333333,444444444,555555555,*1#,\r\n"));
        QCOMPARE(sides[2]->device.received(), QByteArray("?6\r\n"));
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
