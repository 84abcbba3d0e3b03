// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// A long run of exchanges against the simulator with its difficult modes mixed in: every verdict
// must be the one the simulator's behaviour calls for, every command byte-exact, and memory flat.

#include "DialerSimulator.h"
#include "ExchangeOpening.h"
#include "RecordingHost.h"
#include "TestSupport.h"
#include "device/DialerProtocol.h"
#include "text/AnsiText.h"
#include "ui/ExchangeController.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

namespace {

QList<QByteArray> onTheWire(const DialerSettings& settings) {
    QList<QByteArray> bytes;
    for (int i = 0; i < DialerSettings::FieldCount; ++i)
        bytes << AnsiText::encode(settings[i]).value_or("?");
    return bytes;
}

qint64 residentKiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE) / 1024;
}

// Descriptors open in this process: the port, its lock, the opening helper's socket and the
// helpers' own are all given back after each exchange.
qsizetype openDescriptors() {
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System | QDir::Files).size();
}

} // namespace

class SoakTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void thousandExchangesInARow() {
        const int exchanges = qEnvironmentVariableIntValue("SOAK_EXCHANGES") > 0
                                  ? qEnvironmentVariableIntValue("SOAK_EXCHANGES")
                                  : 1000;
        auto device = std::make_unique<DialerSimulator>();
        QVERIFY(device->open());
        RecordingHost host;
        ExchangeController exchange(host);
        host.follow(exchange);
        SerialPort& port = exchange.port();
        const auto mapTo = [&port](const DialerSimulator& d) {
            port.setPortMap(mapOnly(1, d.portPath()));
        };
        mapTo(*device);
        (void)port.setSettings(QStringLiteral("115200,N,8,1"));
        Outcome verdict = Outcome::NoAnswer;
        connect(&exchange, &ExchangeController::verdictReached, this,
                [&verdict](const Verdict& v) { verdict = v.outcome; });

        qint64 warmKiB = 0;
        qsizetype warmDescriptors = 0;
        qint64 peakKiB = 0;
        qint64 worstMs = 0;
        QMap<QString, int> modes;
        for (int i = 0; i < exchanges; ++i) {
            DialerSimulator::Behaviour behaviour;
            bool save = false;
            bool vanish = false;
            Outcome expected = Outcome::Read;
            QString mode;
            switch (i % 100 == 99 ? -1 : i % 10) {
            case -1:
                mode = "vanishing";
                behaviour = {.chunkBytes = 4, .chunkGapMs = 150};
                vanish = true;
                expected = Outcome::CheckFields;
                break;
            case 0:
                mode = "read";
                break;
            case 1:
                mode = "save";
                save = true;
                expected = Outcome::Saved;
                break;
            case 2:
                mode = "silent";
                behaviour = {.silent = true};
                expected = Outcome::NoAnswer;
                break;
            case 3:
                mode = "split";
                behaviour = {.chunkBytes = 4, .chunkGapMs = 10};
                break;
            case 4:
                mode = "slow";
                behaviour = {.delayMs = 200};
                break;
            case 5:
                mode = "too late";
                behaviour = {.delayMs = 700};
                expected = Outcome::NoAnswer;
                break;
            case 6:
                mode = "garbage";
                behaviour = {.garbage = true};
                expected = Outcome::CheckFields;
                break;
            case 7:
                mode = "echoed save";
                behaviour = {.echo = true};
                save = true;
                break;
            case 8:
                mode = "flood";
                behaviour = {.floodBytes = qint64{512} * 1024};
                break;
            case 9:
                mode = "binary values";
                break;
            }
            ++modes[mode];
            if (mode == "binary values")
                device->setValues(
                    {QByteArray("\0\x98", 2), QByteArray::number(i), "\xff", "", " ", "#"});
            else if (mode == "read")
                device->setValues({"1", "2", "3", "4", "5", QByteArray::number(i)});
            if (save)
                host.record.PhoneNum1 = QString::number(i);
            device->setBehaviour(behaviour);
            device->clearReceived();
            const QByteArray command =
                save ? *AnsiText::encode(DialerProtocol::SaveCommand(host.record)) : "?6\r\n";
            const DialerSettings sent = host.record;

            QSignalSpy ended(&exchange, &ExchangeController::exchangeEnded);
            QElapsedTimer clock;
            clock.start();
            save ? exchange.SaveCMD_Click() : exchange.ReadCMD_Click();
            QVERIFY(openingTakenUp(exchange));
            if (vanish) {
                QTRY_VERIFY(exchange.TheData().size() >= 4);
                device->vanish();
            }
            QVERIFY2(ended.wait(3000), qPrintable(mode));
            worstMs = std::max(worstMs, clock.elapsed());

            const QString context = QString("exchange %1 (%2)").arg(i).arg(mode);
            QVERIFY2(verdict == expected, qPrintable(context));
            if (vanish) {
                device = std::make_unique<DialerSimulator>();
                QVERIFY(device->open());
                mapTo(*device);
                continue;
            }
            QVERIFY2(device->received() == command, qPrintable(context));
            // What was saved is what the device keeps; what was read is what it kept.
            if (save)
                QVERIFY2(device->values() == onTheWire(sent), qPrintable(context));
            if (expected == Outcome::Read && !save)
                QVERIFY2(onTheWire(host.record) == device->values(), qPrintable(context));
            QVERIFY(!port.PortOpen());

            if (i == 50) {
                warmKiB = residentKiB();
                warmDescriptors = openDescriptors();
            }
            peakKiB = std::max(peakKiB, residentKiB());
        }
        const qint64 endKiB = residentKiB();
        const qsizetype endDescriptors = openDescriptors();
        qInfo(
            "%d exchanges; resident memory after 50: %lld KiB, at the end: %lld KiB, peak %lld KiB;"
            " descriptors after 50: %lld, at the end: %lld; longest press to end %lld ms",
            exchanges, warmKiB, endKiB, peakKiB, qint64(warmDescriptors), qint64(endDescriptors),
            worstMs);
        for (auto it = modes.cbegin(); it != modes.cend(); ++it)
            qInfo("  %-14s %d", qPrintable(it.key()), it.value());
        if (exchanges > 100) {
            QVERIFY2(endKiB - warmKiB < 4096, "memory grows with the number of exchanges");
            QVERIFY2(endDescriptors <= warmDescriptors + 2,
                     "descriptors grow with the number of exchanges");
        }
    }
};

QTEST_GUILESS_MAIN(SoakTest)
#include "tst_soak.moc"
