// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "text/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

// The program's own windows-1251 table, used where Qt has no codec for it, against Qt's codec.
class AnsiTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tableReadsEveryByteAsQtDoes() {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        const QString decoded = AnsiText::CodePage::decode(all);
        QCOMPARE(decoded.size(), 256);
        QCOMPARE(AnsiText::CodePage::encode(decoded).value_or(QByteArray()), all);
        // A few bytes as the code page has them, whatever codec the machine has.
        QCOMPARE(decoded.mid(0xC0, 2), QString("АБ"));
        QCOMPARE(decoded[0xFF], QChar(u'я'));
        QCOMPARE(decoded[0xA8], QChar(u'Ё'));
        QCOMPARE(decoded[0xB9], QChar(u'№'));
        QCOMPARE(decoded[0x88], QChar(u'€'));

        QStringDecoder qt(AnsiText::CodecName);
        if (!qt.isValid())
            QSKIP("this Qt has no windows-1251 codec to compare the table with");
        QCOMPARE(decoded, qt.decode(all));
    }

    // Every UTF-16 code unit, surrogates included: the table takes exactly the characters Qt's
    // codec takes, and gives the same byte.
    void tableWritesEveryCharacterAsQtDoes() {
        if (!QStringEncoder(AnsiText::CodecName).isValid())
            QSKIP("this Qt has no windows-1251 codec to compare the table with");
        int encodable = 0;
        for (int u = 0; u <= 0xFFFF; ++u) {
            const QChar c{char16_t(u)};
            const std::optional<QByteArray> ours = AnsiText::CodePage::encode(QStringView(&c, 1));
            QStringEncoder qt(AnsiText::CodecName);
            const QByteArray theirs = qt.encode(QStringView(&c, 1));
            const bool qtTakesIt = !qt.hasError() && !c.isSurrogate();
            if (ours.has_value() != qtTakesIt || (ours && *ours != theirs))
                QFAIL(qPrintable(QString("U+%1: ours %2, Qt's %3")
                                     .arg(QString::number(u, 16).rightJustified(4, u'0'),
                                          ours ? QString(ours->toHex()) : "none",
                                          qtTakesIt ? QString(theirs.toHex()) : "none")));
            encodable += ours.has_value();
        }
        QCOMPARE(encodable, 256);
    }

    // The public conversions take a shortcut for ASCII: text with and without it converts as
    // the code page has it, a lone surrogate still refused.
    void conversionsMatchTheCodePage() {
        const QList<QByteArray> samples{
            "", "*100#", QByteArray("a\0b", 3), "\x7f", "\xc0\xc1", "12\xff", "\x98"};
        for (const QByteArray& bytes : samples) {
            const QString text = AnsiText::decode(bytes);
            QCOMPARE(text, AnsiText::CodePage::decode(bytes));
            QCOMPARE(AnsiText::encode(text).value_or("none"), bytes);
        }
        QVERIFY(!AnsiText::encode(QString(QChar(0xD800))).has_value());
        QVERIFY(!AnsiText::encode(u"1\u00e9").has_value());
    }
};

QTEST_GUILESS_MAIN(AnsiTextTest)
#include "tst_ansitext.moc"
