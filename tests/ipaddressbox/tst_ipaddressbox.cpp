// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "ipaddressbox/IPAddressBox.h"
#include "ipaddressbox/IPAddressEdit.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

QStringList fields(const IPAddressBox& box) {
    QStringList texts;
    for (int i = 0; i < IPAddressEdit::FieldCount; ++i)
        texts << box.editor()->field(i)->text();
    return texts;
}

// Counts the resizes a widget receives.
class ResizeCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        count += event->type() == QEvent::Resize;
        return false;
    }
};

} // namespace

class IPAddressBoxTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void addressesInBothForms_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint32>("integer");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("0.0.0.0") << "0.0.0.0" << 0 << QStringList{"0", "0", "0", "0"};
        QTest::newRow("10.0.0.1") << "10.0.0.1" << 16777226 << QStringList{"10", "0", "0", "1"};
        QTest::newRow("192.168.1.2")
            << "192.168.1.2" << 33663168 << QStringList{"192", "168", "1", "2"};
        QTest::newRow("192.168.1.200")
            << "192.168.1.200" << -939415360 << QStringList{"192", "168", "1", "200"};
        QTest::newRow("255.255.255.255")
            << "255.255.255.255" << -1 << QStringList{"255", "255", "255", "255"};
    }
    void addressesInBothForms() {
        QFETCH(QString, text);
        QFETCH(qint32, integer);
        QFETCH(QStringList, shown);
        IPAddressBox byText;
        byText.setIPAddressAsString(text);
        QCOMPARE(byText.IPAddressAsLong(), integer);
        QCOMPARE(byText.IPAddressAsString(), text);
        QCOMPARE(fields(byText), shown);
        IPAddressBox byInteger;
        byInteger.setIPAddressAsLong(integer);
        QCOMPARE(byInteger.IPAddressAsString(), text);
        QCOMPARE(fields(byInteger), shown);
    }

    void textWritesTakeEveryFormAndRejectedTextIsAllOnes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("shown");
        const QStringList ones{"255", "255", "255", "255"};
        QTest::newRow("three parts") << "1.2.3" << QStringList{"1", "2", "0", "3"};
        QTest::newRow("hex and octal") << "0x7f.0.0.01" << QStringList{"127", "0", "0", "1"};
        QTest::newRow("256.1.1.1") << "256.1.1.1" << ones;
        QTest::newRow("no address") << "dialer" << ones;
        QTest::newRow("empty") << "" << ones;
        QTest::newRow("cyrillic") << "адрес" << ones;
        QTest::newRow("outside the code page") << QString::fromUtf16(u"1.2.3.4\u4e2d") << ones;
    }
    void textWritesTakeEveryFormAndRejectedTextIsAllOnes() {
        QFETCH(QString, text);
        QFETCH(QStringList, shown);
        IPAddressBox box;
        box.setIPAddressAsLong(16777226);
        box.setIPAddressAsString(text);
        QCOMPARE(fields(box), shown);
        if (shown.first() == "255")
            QCOMPARE(box.IPAddressAsLong(), -1);
    }

    void blankFieldsReadAsZero() {
        IPAddressBox box;
        QCOMPARE(fields(box), QStringList(4, QString()));
        QCOMPARE(box.IPAddressAsLong(), 0);
        QCOMPARE(box.IPAddressAsString(), QString("0.0.0.0"));
        box.setIPAddressAsString("10.20.30.40");
        box.editor()->field(2)->clear();
        QCOMPARE(box.IPAddressAsString(), QString("10.20.0.40"));
        QCOMPARE(box.editor()->nonBlankFields(), 3);
    }

    void formsAreQtPropertiesWithANotifySignal() {
        IPAddressBox box;
        QVERIFY(box.setProperty("IPAddressAsString", "10.0.0.1"));
        QCOMPARE(box.property("IPAddressAsLong").toInt(), 16777226);
        QVERIFY(box.setProperty("IPAddressAsLong", -939415360));
        QCOMPARE(box.property("IPAddressAsString").toString(), QString("192.168.1.200"));
    }

    // One write, one notification, carrying the final address; no news when nothing changed.
    void eachChangeIsAnnouncedOnceWithTheFinalAddress_data() {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QList<qint32>>("announced");
        QTest::newRow("text") << "IPAddressAsString" << QVariant("192.168.1.200")
                              << QList<qint32>{-939415360};
        QTest::newRow("integer") << "IPAddressAsLong" << QVariant(16777226)
                                 << QList<qint32>{16777226};
        QTest::newRow("no address is all ones")
            << "IPAddressAsString" << QVariant("x") << QList<qint32>{-1};
        QTest::newRow("the same address again")
            << "IPAddressAsString" << QVariant("1.2.3.4") << QList<qint32>{};
        QTest::newRow("blank fields to 0.0.0.0 is no change")
            << "IPAddressAsLong" << QVariant(0) << QList<qint32>{};
    }
    void eachChangeIsAnnouncedOnceWithTheFinalAddress() {
        QFETCH(QString, property);
        QFETCH(QVariant, value);
        QFETCH(QList<qint32>, announced);
        IPAddressBox box;
        if (QTest::currentDataTag() == QByteArray("the same address again"))
            box.setIPAddressAsString("1.2.3.4");
        QSignalSpy changed(&box, &IPAddressBox::addressChanged);
        QVERIFY(box.setProperty(property.toLatin1().constData(), value));
        QList<qint32> seen;
        for (const QList<QVariant>& args : changed)
            seen << args.at(0).toInt();
        QCOMPARE(seen, announced);
    }

    void oneKeystrokeIsOneNotification() {
        IPAddressBox box;
        box.show();
        QApplication::setActiveWindow(&box);
        QVERIFY(QTest::qWaitForWindowActive(&box));
        box.setFocus();
        QSignalSpy changed(&box, &IPAddressBox::addressChanged);
        int keys = 0;
        const QString typed = "10.0.0.1";
        for (const QChar c : typed) {
            QTest::keyClicks(QApplication::focusWidget(), QString(c));
            ++keys;
            QVERIFY2(changed.size() <= keys, qPrintable(QString::number(changed.size())));
        }
        // "1", "10", then the dot and the zeros leave the address as it is, then "1".
        QCOMPARE(changed.size(), 3);
        QCOMPARE(changed.last().at(0).toInt(), 16777226);
    }

    void typingBehavesLikeAnAddressField_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("dots move on") << "192.168.1.2" << QStringList{"192", "168", "1", "2"};
        QTest::newRow("a third digit moves on")
            << "1921681200" << QStringList{"192", "168", "120", "0"};
        QTest::newRow("above 255 is not accepted") << "300.999" << QStringList{"30", "99", "", ""};
        QTest::newRow("digits only") << "1a2b.c3" << QStringList{"12", "3", "", ""};
        QTest::newRow("a dot in an empty field stays") << ".5" << QStringList{"5", "", "", ""};
        QTest::newRow("blank as separator") << "10 0 0 1" << QStringList{"10", "0", "0", "1"};
    }
    void typingBehavesLikeAnAddressField() {
        QFETCH(QString, typed);
        QFETCH(QStringList, shown);
        IPAddressBox box;
        box.show();
        QApplication::setActiveWindow(&box);
        QVERIFY(QTest::qWaitForWindowActive(&box));
        box.setFocus();
        for (const QChar c : typed)
            QTest::keyClicks(QApplication::focusWidget(), QString(c));
        QCOMPARE(fields(box), shown);
    }

    void backspaceInAnEmptyFieldGoesBack() {
        IPAddressBox box;
        box.show();
        QApplication::setActiveWindow(&box);
        QVERIFY(QTest::qWaitForWindowActive(&box));
        box.setFocus();
        QTest::keyClicks(QApplication::focusWidget(), "12.");
        QCOMPARE(QApplication::focusWidget(), box.editor()->field(1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QCOMPARE(QApplication::focusWidget(), box.editor()->field(0));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QCOMPARE(fields(box), QStringList({"1", "", "", ""}));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), box.editor()->field(1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
        QCOMPARE(QApplication::focusWidget(), box.editor()->field(0));
    }

    void extentIsFixedWhateverTheHostAsks() {
        QCOMPARE(IPAddressBox::WidthTwips, 1800);
        QCOMPARE(IPAddressBox::HeightTwips, 330);
        QWidget host;
        auto *layout = new QVBoxLayout(&host);
        auto *box = new IPAddressBox(&host);
        layout->addWidget(box);
        ResizeCounter counter;
        box->installEventFilter(&counter);
        host.resize(600, 400);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        box->resize(500, 300);
        box->setGeometry(0, 0, 10, 10);
        host.resize(700, 500);
        QCoreApplication::processEvents();
        QCOMPARE(box->size(), QSize(120, 22));
        QCOMPARE(box->editor()->size(), QSize(120, 22));
        QVERIFY2(counter.count <= 1, qPrintable(QString::number(counter.count)));
    }

    void withoutAnEditorItReadsZeroAndIgnoresWrites() {
        IPAddressBox box([](QWidget *) { return nullptr; });
        QVERIFY(!box.editor());
        QCOMPARE(box.IPAddressAsLong(), 0);
        QCOMPARE(box.IPAddressAsString(), QString("0.0.0.0"));
        box.setIPAddressAsString("10.0.0.1");
        box.setIPAddressAsLong(-1);
        QCOMPARE(box.IPAddressAsLong(), 0);
        QCOMPARE(box.size(), QSize(120, 22));
    }

    void destructionTakesTheEditorAlong() {
        QPointer<IPAddressEdit> editor;
        {
            IPAddressBox box;
            editor = box.editor();
            QVERIFY(editor);
        }
        QVERIFY(editor.isNull());
    }
};

QTEST_MAIN(IPAddressBoxTest)
#include "tst_ipaddressbox.moc"
