// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "ipaddressbox/InetAddress.h"

#include <QRandomGenerator>
#include <QTest>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#endif

namespace {

QString dotted(std::optional<quint32> address) {
    if (!address)
        return "rejected";
    return QString("%1.%2.%3.%4")
        .arg(*address >> 24)
        .arg((*address >> 16) & 0xFF)
        .arg((*address >> 8) & 0xFF)
        .arg(*address & 0xFF);
}

} // namespace

class InetAddressTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void textFormsOfInetAddr_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("address");
        auto row = [](const char *name, const QByteArray& text, const char *address) {
            QTest::newRow(name) << text << QString(address);
        };
        row("four parts", "192.168.1.200", "192.168.1.200");
        row("three parts: the last fills 16 bits", "1.2.3", "1.2.0.3");
        row("three parts, large last", "10.1.65535", "10.1.255.255");
        row("two parts: the last fills 24 bits", "10.65536", "10.1.0.0");
        row("one part: 32 bits", "3232235977", "192.168.1.201");
        row("all ones as text", "255.255.255.255", "255.255.255.255");
        row("octal", "0300.0250.01.0310", "192.168.1.200");
        row("hexadecimal", "0xc0.0XA8.0x1.0xC8", "192.168.1.200");
        row("mixed bases", "0x7f.1", "127.0.0.1");
        row("a lone zero", "0", "0.0.0.0");
        row("leading zeros are octal", "010.0.0.010", "8.0.0.8");
        row("hex 32 bits", "0xFFFFFFFF", "255.255.255.255");
        row("text after a blank is ignored", "10.0.0.1 junk", "10.0.0.1");
        row("tab, then anything", "10.0.0.1\tx.y", "10.0.0.1");
        row("trailing line end", "10.0.0.1\r\n", "10.0.0.1");
        row("NUL ends the text", QByteArray("1.2.3.4\0junk", 12), "1.2.3.4");
        row("leading blank", " 10.0.0.1", "rejected");
        row("empty", "", "rejected");
        row("a part above 255", "256.1.1.1", "rejected");
        row("last part above 255", "1.2.3.256", "rejected");
        row("three parts, last above 16 bits", "1.2.65536", "rejected");
        row("two parts, last above 24 bits", "1.16777216", "rejected");
        row("above 32 bits", "4294967296", "rejected");
        row("far above 32 bits", "99999999999999999999999", "rejected");
        row("five parts", "1.2.3.4.5", "rejected");
        row("trailing dot", "1.2.3.4.", "rejected");
        row("empty part", "1..2", "rejected");
        row("octal with 8", "08", "rejected");
        row("0x without digits", "0x", "rejected");
        row("0x without digits before a dot", "0x.1", "rejected");
        row("letter after the address", "1.2.3.4x", "rejected");
        row("sign", "-1", "rejected");
        row("blank inside", "1. 2.3.4", "rejected");
        row("no address at all", "localhost", "rejected");
        row("non-ASCII after the address", "1.2.3.4\xa0", "rejected");
    }
    void textFormsOfInetAddr() {
        QFETCH(QByteArray, text);
        QFETCH(QString, address);
        QCOMPARE(dotted(InetAddress::parse(text)), address);
        QCOMPARE(InetAddress::inetAddr(text) == InetAddress::None,
                 address == "rejected" || address == "255.255.255.255");
    }

    void integerFormIsNetworkOrderReadLittleEndian_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint32>("integer");
        QTest::newRow("0.0.0.0") << QByteArray("0.0.0.0") << qint32(0);
        QTest::newRow("10.0.0.1") << QByteArray("10.0.0.1") << qint32(16777226);
        QTest::newRow("192.168.1.2") << QByteArray("192.168.1.2") << qint32(33663168);
        QTest::newRow("192.168.1.200") << QByteArray("192.168.1.200") << qint32(-939415360);
        QTest::newRow("255.255.255.255") << QByteArray("255.255.255.255") << qint32(-1);
    }
    void integerFormIsNetworkOrderReadLittleEndian() {
        QFETCH(QByteArray, text);
        QFETCH(qint32, integer);
        QCOMPARE(qint32(InetAddress::inetAddr(text)), integer);
        QCOMPARE(InetAddress::inetNtoa(quint32(integer)), QString::fromLatin1(text));
    }

#ifdef Q_OS_UNIX
    // The C library's inet_aton defines the same text forms; over many generated texts both must
    // agree on what is accepted and on the address.
    void agreesWithTheSystemsInetAton() {
        QRandomGenerator random(20261207);
        const auto part = [&random]() -> QByteArray {
            const quint32 limits[] = {255, 65535, 16777215, 0xFFFFFFFF, 300, 70000};
            const quint64 value = random.bounded(quint64(limits[random.bounded(6)]) + 2);
            switch (random.bounded(5)) {
            case 0:
                return QByteArray::number(value, 8).prepend('0');
            case 1:
                return QByteArray::number(value, 16).prepend(random.bounded(2) ? "0x" : "0X");
            case 2:
                return QByteArray::number(value, 16).toUpper().prepend("0x");
            default:
                return QByteArray::number(value);
            }
        };
        const char *tails[] = {"", "", "", " junk", "\t1", "\n", "x", ".", " ", "..", "\xe9"};
        const char alphabet[] = "0123456789xXabcdefABCDEF.. \t-+";
        int differences = 0;
        int acceptedCount = 0;
        QStringList examples;
        for (int i = 0; i < 200000; ++i) {
            QByteArray text;
            if (i % 4 == 3) {
                // Random characters of the address alphabet.
                const int length = int(random.bounded(16));
                for (int k = 0; k < length; ++k)
                    text += alphabet[random.bounded(int(sizeof alphabet) - 1)];
            } else {
                const int parts = 1 + int(random.bounded(4));
                for (int k = 0; k < parts; ++k)
                    text += (k ? "." : "") + part();
                text += tails[random.bounded(int(std::size(tails)))];
                if (random.bounded(20) == 0)
                    text.prepend(' ');
            }
            in_addr system{};
            const bool accepted = inet_aton(text.constData(), &system) != 0;
            acceptedCount += accepted;
            const std::optional<quint32> ours = InetAddress::parse(text);
            const bool same =
                accepted == ours.has_value() && (!accepted || ntohl(system.s_addr) == *ours);
            if (!same) {
                ++differences;
                if (examples.size() < 10)
                    examples << QString::fromLatin1(text.toPercentEncoding());
            }
        }
        qInfo("%d of 200000 generated texts accepted by inet_aton", acceptedCount);
        QVERIFY(acceptedCount > 25000); // both sides of the decision are well covered
        QVERIFY2(differences == 0, qPrintable(examples.join(", ")));
    }
#endif
};

QTEST_GUILESS_MAIN(InetAddressTest)
#include "tst_inetaddress.moc"
