// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// How the Windows line is set up, whatever block the driver hands out, and the words for what
// real drivers refuse. Plain rules, so they run here and under wine alike.

#include "device/CommState.h"

#include <QTest>

Q_DECLARE_METATYPE(CommState::Block)

class CommStateTest : public QObject {
    Q_OBJECT

    // What every opening hands the driver for 115200,N,8,1, whatever it was handed.
    static CommState::Block expected(CommState::Block driver) {
        driver.baudRate = 115200;
        driver.byteSize = 8;
        driver.parity = 0;
        driver.stopBits = 0;
        driver.binary = true;
        driver.parityCheck = false;
        driver.outxCtsFlow = driver.outxDsrFlow = driver.dsrSensitivity = false;
        driver.txContinueOnXoff = driver.outX = driver.inX = false;
        driver.errorChar = driver.null = driver.abortOnError = false;
        driver.dtrControl = driver.rtsControl = 1;
        driver.xonChar = 0x11;
        driver.xoffChar = 0x13;
        return driver;
    }

private Q_SLOTS:
    void driversBlockBecomesTheLinesOwn_data() {
        QTest::addColumn<CommState::Block>("driver");
        QTest::newRow("all zero, as some virtual ports hand it out") << CommState::Block{};
        CommState::Block flow;
        flow.baudRate = 9600;
        flow.outxCtsFlow = flow.outxDsrFlow = flow.dsrSensitivity = true;
        flow.outX = flow.inX = flow.txContinueOnXoff = true;
        flow.dtrControl = 2; // handshake
        flow.rtsControl = 2;
        flow.xonChar = flow.xoffChar = 0x11;
        QTest::newRow("CTS, DSR and XON flow on, XON equal to XOFF") << flow;
        CommState::Block odd;
        odd.parity = 2;
        odd.parityCheck = true;
        odd.stopBits = 2;
        odd.byteSize = 7;
        odd.abortOnError = odd.errorChar = odd.null = true;
        QTest::newRow("baud rate 0, even parity, seven bits, aborting on errors") << odd;
    }
    void driversBlockBecomesTheLinesOwn() {
        QFETCH(CommState::Block, driver);
        const CommState::Block prepared = CommState::prepared(driver, {});
        QCOMPARE(prepared, expected(driver));
        QVERIFY(prepared.xonChar != prepared.xoffChar);
    }

    void writeTimeoutFitsTheCommand_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<quint32>("perByte");
        QTest::newRow("115200") << 115200 << quint32(1);
        QTest::newRow("9600") << 9600 << quint32(3);
        QTest::newRow("300") << 300 << quint32(74);
    }
    void writeTimeoutFitsTheCommand() {
        QFETCH(int, baud);
        QFETCH(quint32, perByte);
        QCOMPARE(CommState::writeTimeouts(baud), (CommState::WriteTimeouts{300, perByte}));
    }

    void driversRefusalsAreToldInWordsOfTheirOwn_data() {
        QTest::addColumn<CommState::Step>("step");
        QTest::addColumn<unsigned long>("code");
        QTest::addColumn<QString>("words");
        QTest::newRow("CH340 refusing the settings")
            << CommState::Step::LineSettings << 31ul << "драйвер адаптера не принимает";
        QTest::newRow("PL2303 refusing the settings")
            << CommState::Step::LineSettings << 87ul << "драйвер адаптера не принимает";
        QTest::newRow("Bluetooth not answering")
            << CommState::Step::Open << 121ul << "порт не ответил вовремя";
        QTest::newRow("the same code at another step") << CommState::Step::Open << 31ul << "";
    }
    void driversRefusalsAreToldInWordsOfTheirOwn() {
        QFETCH(CommState::Step, step);
        QFETCH(unsigned long, code);
        QFETCH(QString, words);
        const QString text = CommState::failure(step, code);
        if (words.isEmpty())
            QVERIFY2(!text.contains("драйвер адаптера"), qPrintable(text));
        else
            QVERIFY2(text.startsWith(words) && text.contains(QString::number(code)),
                     qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(CommStateTest)
#include "tst_commstate.moc"
