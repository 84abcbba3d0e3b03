// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "TestSupport.h"

#include "device/DialerProtocol.h"
#include "device/Outcome.h"
#include "text/AnsiText.h"

#include <QTest>

using namespace DialerProtocol;

namespace {
QByteArray wire(const QString& message) {
    return AnsiText::encode(message).value_or("<not encodable>");
}
} // namespace

class DialerProtocolTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fixedMessagesAreExactlyTheirFourBytes() {
        QCOMPARE(wire(ReadRequest()), QByteArray::fromHex("3f360d0a"));
        QCOMPARE(wire(Acknowledgement()), QByteArray::fromHex("4f4b0d0a"));
    }

    void saveCommandCarriesTheValuesInOrder_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("worked example, 27 bytes")
            << QStringList{"101", "202", "303", "404", "505", "*7#"}
            << QByteArray("!101,202,303,404,505,*7#,\r\n");
        QTest::newRow("defaults, 69 bytes")
            << values(DialerSettings::defaults())
            << QByteArray(
                   "!111111111,222222222,333333333,444444444,555555555,*123*123456789#,\r\n");
        QTest::newRow("six empty values, 9 bytes")
            << QStringList(6, QString()) << QByteArray::fromHex("212c2c2c2c2c2c0d0a");
        QTest::newRow("values unchanged: blanks, quotes")
            << QStringList{" 1", "2 ", "\"3\"", "", "5", "#"}
            << QByteArray("! 1,2 ,\"3\",,5,#,\r\n");
        QTest::newRow("cyrillic in windows-1251")
            << QStringList{"Я", "b", "c", "d", "e", "ф"} << QByteArray("!\xdf,b,c,d,e,\xf4,\r\n");
    }
    void saveCommandCarriesTheValuesInOrder() {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, bytes);
        QCOMPARE(wire(SaveCommand(record(fields))), bytes);
    }

    void valueWithACommaIsSentUnchanged() {
        QCOMPARE(SaveCommand(record({"1,2", "b", "c", "d", "e", "f"})),
                 QStringLiteral("!1,2,b,c,d,e,f,\r\n"));
    }

    void shouldParseReadResponses_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("worked example") << QStringLiteral("!101,202,303,404,505,*7#,\r\n") << true
                                        << QStringList{"101", "202", "303", "404", "505", "*7#"};
        QTest::newRow("last comma missing")
            << QStringLiteral("!101,202,303,404,505,*7#\r\n") << false << QStringList();
        QTest::newRow("seven commas: six empty values")
            << QStringLiteral(",,,,,,,") << true << QStringList(6, QString());
        QTest::newRow("six commas only: the first is the skipped character")
            << QStringLiteral(",,,,,,") << false << QStringList();
        QTest::newRow("everything after the sixth comma is ignored")
            << QStringLiteral("X1,2,3,4,5,6,7,8,\r\n") << true
            << QStringList{"1", "2", "3", "4", "5", "6"};
        QTest::newRow("leading comma is skipped")
            << QStringLiteral(",1,2,3,4,5,6,") << true << QStringList{"1", "2", "3", "4", "5", "6"};
        QTest::newRow("blanks stay in place") << QStringLiteral("# 1 ,  2,3  , ,\t,  ,") << true
                                              << QStringList{" 1 ", "  2", "3  ", " ", "\t", "  "};
        QTest::newRow("any characters but commas")
            << QStringLiteral("!*100#,+7 495,abc,Ъ,\"q\",\r,\n") << true
            << QStringList{"*100#", "+7 495", "abc", "Ъ", "\"q\"", "\r"};
        QTest::newRow("acknowledgement twice")
            << QStringLiteral("OK\r\nOK\r\n") << false << QStringList();
        QTest::newRow("one character") << QStringLiteral("X") << false << QStringList();
        QTest::newRow("empty") << QString() << false << QStringList();
        QTest::newRow("echoed request before a response")
            << QStringLiteral("?6\r\n!1,2,3,4,5,6,\r\n") << true
            << QStringList{"6\r\n!1", "2", "3", "4", "5", "6"};
        const QString far(40000, u'7');
        QTest::newRow("commas beyond 32767 characters")
            << QStringLiteral("!%1,2,3,4,5,%1,\r\n").arg(far) << true
            << QStringList{far, "2", "3", "4", "5", far};
    }
    void shouldParseReadResponses() {
        QFETCH(QString, reply);
        QFETCH(bool, complete);
        QFETCH(QStringList, expected);
        const std::optional<DialerSettings> parsed = parseReadResponse(reply);
        QCOMPARE(parsed.has_value(), complete);
        if (complete)
            QCOMPARE(values(*parsed), expected);
    }

    void saveCommandParsesBackToItsRecord_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("defaults") << values(DialerSettings::defaults());
        QTest::newRow("empty") << QStringList(6, QString());
        QTest::newRow("blanks and symbols") << QStringList{" ", " 1 ", "*#", "\"", "Ё", "+7"};
    }
    void saveCommandParsesBackToItsRecord() {
        QFETCH(QStringList, fields);
        const std::optional<DialerSettings> parsed = parseReadResponse(SaveCommand(record(fields)));
        QVERIFY(parsed);
        QCOMPARE(values(*parsed), fields);
    }

    void onlyTheExactWholeAcknowledgementCounts_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("isAck");
        QTest::newRow("exact") << QStringLiteral("OK\r\n") << true;
        QTest::newRow("lower case") << QStringLiteral("ok\r\n") << false;
        QTest::newRow("twice") << QStringLiteral("OK\r\nOK\r\n") << false;
        QTest::newRow("leading echo") << QStringLiteral("?OK\r\n") << false;
        QTest::newRow("trailing blank") << QStringLiteral("OK\r\n ") << false;
        QTest::newRow("LF only") << QStringLiteral("OK\n") << false;
        QTest::newRow("no line end") << QStringLiteral("OK") << false;
    }
    void onlyTheExactWholeAcknowledgementCounts() {
        QFETCH(QString, reply);
        QFETCH(bool, isAck);
        QCOMPARE(isAcknowledgement(reply), isAck);
    }

    void verdictFollowsTheReplyAlone_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("nothing") << QString() << Outcome::NoAnswer;
        QTest::newRow("acknowledgement") << QStringLiteral("OK\r\n") << Outcome::Saved;
        QTest::newRow("read response") << QStringLiteral("!1,2,3,4,5,6,\r\n") << Outcome::Read;
        QTest::newRow("save command echoed")
            << QStringLiteral("!1,2,3,4,5,6,\r\n") << Outcome::Read;
        QTest::newRow("acknowledgement with an echo")
            << QStringLiteral("!1,2,3,4,5,6,\r\nOK\r\n") << Outcome::Read;
        QTest::newRow("short acknowledgement echo")
            << QStringLiteral("?6\r\nOK\r\n") << Outcome::CheckFields;
        QTest::newRow("garbage") << QStringLiteral("\x01\x02") << Outcome::CheckFields;
        QTest::newRow("NUL") << QString(QChar(0)) << Outcome::CheckFields;
    }
    void verdictFollowsTheReplyAlone() {
        QFETCH(QString, reply);
        QFETCH(Outcome, outcome);
        const Verdict verdict = judgeReply(reply);
        QCOMPARE(verdict.outcome, outcome);
        QCOMPARE(verdict.values.has_value(), outcome == Outcome::Read);
    }

    void outcomeMessagesAreTheDialersOwnTexts() {
        const QString noAnswer = outcomeMessage(Outcome::NoAnswer);
        QCOMPARE(noAnswer.size(), 79);
        QCOMPARE(noAnswer.split(QStringLiteral("\r\n")),
                 QStringList({"Нет ответа от устройства.", "Проверьте подключение.",
                              QString::fromUtf16(u"Номер \u0421\u041E\u041C-порта не более 9  ")}));
        QVERIFY(!noAnswer.contains(u'C') && !noAnswer.contains(u'O') && !noAnswer.contains(u'M'));
        QCOMPARE(outcomeMessage(Outcome::Saved), QStringLiteral("Настройки сохранены  "));
        QCOMPARE(outcomeMessage(Outcome::Read), QStringLiteral("Успешно считано"));
        QCOMPARE(outcomeMessage(Outcome::CheckFields),
                 QStringLiteral("Проверьте правильность\r\nзаполнения полей настроек!"));
        QCOMPARE(outcomeMessage(Outcome::CheckFields).size(), 50);
    }

    void unsendableValuesAreFound_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<int>("position");
        QTest::newRow("all fine") << values(DialerSettings::defaults()) << 0;
        QTest::newRow("empty values are fine") << QStringList(6, QString()) << 0;
        QTest::newRow("comma") << QStringList{"1", "2,3", "3", "4", "5", "6"} << 2;
        QTest::newRow("CR") << QStringList{"1", "2", "3", "4", "5", "6\r"} << 6;
        QTest::newRow("LF") << QStringList{"1", "2", "3", "\n", "5", "6"} << 4;
        QTest::newRow("outside windows-1251")
            << QStringList{"\u4e2d", "2", "3", "4", "5", "6"} << 1;
        QTest::newRow("lone surrogate")
            << QStringList{"1", "2", QString(QChar(0xd800)), "4", "5", "6"} << 3;
        QTest::newRow("quote and semicolon are fine")
            << QStringList{"\"", ";", "3", "4", "5", "6"} << 0;
    }
    void unsendableValuesAreFound() {
        QFETCH(QStringList, fields);
        QFETCH(int, position);
        QCOMPARE(firstUnsendableValue(record(fields)), position);
    }

    void everyByteSurvivesTheCodePage() {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        QCOMPARE(AnsiText::encode(AnsiText::decode(all)).value_or(QByteArray()), all);
    }
};

QTEST_GUILESS_MAIN(DialerProtocolTest)
#include "tst_dialerprotocol.moc"
