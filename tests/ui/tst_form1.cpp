// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "CaptionFit.h"
#include "TestSupport.h"

#include "ui/Form1.h"
#include "ui/FormLayout.h"
#include "ui/LinkLabel.h"
#include "ui/PortSelector.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Receives the URLs the window asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_settingsPath;
    QStringList m_messages;

    // A window over a settings file in a temporary folder, with no serial ports.
    std::unique_ptr<Form1> makeForm(bool load = true) {
        auto form = std::make_unique<Form1>();
        form->setSettingsStore(SettingsStore(m_settingsPath));
        form->setPortMap(PortMap());
        form->setInfoPresenter([this](const QString& text) { m_messages << text; });
        if (load)
            form->Form_Load();
        return form;
    }

    static QLineEdit *field(Form1& form, int i) {
        return form.findChild<QLineEdit *>(FormLayout::FieldNames[i]);
    }

    static QStringList shown(Form1& form) {
        QStringList texts;
        for (int i = 0; i < 6; ++i)
            texts << field(form, i)->text();
        return texts;
    }

private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale::c());
        QVERIFY(m_dir.isValid());
        m_settingsPath = m_dir.filePath("Velkor.ini");
    }

    void init() {
        QFile::remove(m_settingsPath);
        m_messages.clear();
    }

    void controlsStandWhereTheLayoutPutsThem_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("tooltip");
        auto row = [](const char *name, const char *kind, const char *container,
                      const QString& caption, QRect twips, const QString& tooltip = {}) {
            QTest::newRow(name) << QString(name) << QString(kind) << QString(container) << caption
                                << twips << tooltip;
        };
        row("Frame1", "QGroupBox", "Form1", "", {0, 0, 4875, 3255});
        row("Frame3", "QGroupBox", "Frame1", "GSMsettings", {60, 120, 3015, 3015});
        row("Frame5", "QGroupBox", "Frame1", "Commands", {3120, 120, 1695, 3015});
        row("Label4", "QLabel", "Frame3", "Phone #1", {480, 360, 735, 255});
        row("Text1Num", "QLineEdit", "Frame3", "", {1380, 300, 1515, 315}, "First Dialed Number");
        row("Label5", "QLabel", "Frame3", "Phone #2", {480, 780, 735, 255});
        row("Text2Num", "QLineEdit", "Frame3", "", {1380, 720, 1515, 315}, "Second Dialed Number");
        row("Label6", "QLabel", "Frame3", "Phone #3", {480, 1200, 735, 255});
        row("Text3Num", "QLineEdit", "Frame3", "", {1380, 1140, 1515, 315}, "Third Dialed Number");
        row("Label1", "QLabel", "Frame3", "Phone #4", {480, 1620, 735, 255});
        row("Text4Num", "QLineEdit", "Frame3", "", {1380, 1560, 1515, 315});
        row("Label2", "QLabel", "Frame3", "Phone #5", {480, 2020, 735, 255});
        row("Text5Num", "QLineEdit", "Frame3", "", {1380, 1980, 1515, 315});
        row("Label3", "QLabel", "Frame3", "FREE SMS", {120, 2400, 495, 495});
        row("TextFreeNum", "QLineEdit", "Frame3", "", {600, 2400, 2295, 375});
        row("Combo1", "PortSelector", "Frame5", "COM", {360, 360, 975, 315}, "Select COM Port");
        row("SaveCMD", "QPushButton", "Frame5", "Save", {360, 900, 975, 315},
            "Save Settings To Tracker");
        row("ReadCMD", "QPushButton", "Frame5", "Read", {360, 1500, 975, 315},
            "Save Settings To Lift");
        row("ExitCMD", "QPushButton", "Frame5", "Exit", {360, 2100, 975, 315});
        row("Label10", "LinkLabel", "Frame5", QUrl(Form1::websiteUrl()).host(),
            {120, 2640, 1515, 255});
    }
    void controlsStandWhereTheLayoutPutsThem() {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, container);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QFETCH(QString, tooltip);
        const auto form = makeForm(false);
        QWidget *w = form->findChild<QWidget *>(name);
        QVERIFY(w);
        QCOMPARE(QString(w->metaObject()->className()), kind);
        QCOMPARE(w->parentWidget()->objectName(), container);
        const auto px = [](int t) {
            return qRound(t / 15.0);
        };
        QCOMPARE(w->geometry(),
                 QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
        QCOMPARE(w->toolTip(), tooltip);
        QString text;
        if (auto *box = qobject_cast<QGroupBox *>(w))
            text = box->title();
        else if (auto *label = qobject_cast<QLabel *>(w))
            text = label->text();
        else if (auto *edit = qobject_cast<QLineEdit *>(w))
            text = edit->text();
        else if (auto *combo = qobject_cast<QComboBox *>(w))
            text = combo->currentText();
        else if (auto *button = qobject_cast<QPushButton *>(w))
            text = button->text();
        QCOMPARE(text, caption);
    }

    void windowIsAFixedDialogOfTheDesignedSize() {
        const auto form = makeForm(false);
        QCOMPARE(form->windowTitle(), QString("Настройки GSM"));
        QCOMPARE(form->size(), QSize(326, 221));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form->windowFlags() & Qt::WindowCloseButtonHint);
        const QPixmap icon = form->windowIcon().pixmap(32, 32);
        QCOMPARE(icon.size(), QSize(32, 32));
    }

    void designStateBeforeStartUp() {
        const auto form = makeForm(false);
        auto *combo = form->findChild<QComboBox *>("Combo1");
        QVERIFY(!combo->isEnabled());
        QVERIFY(combo->isEditable());
        QCOMPARE(combo->count(), 0);
        QCOMPARE(combo->currentText(), QString("COM"));
        QCOMPARE(shown(*form), QStringList(6, QString()));
        QVERIFY(!form->exchange().timer().isActive());
        QCOMPARE(form->CorrectData(), qint16(0));
        for (const char *name : FormLayout::FieldNames)
            QVERIFY(form->findChild<QLineEdit *>(name)->maxLength() >= 1 << 30);
    }

    void linkLabelLooksAndPointsLikeALink() {
        const auto form = makeForm(false);
        auto *link = form->findChild<LinkLabel *>("Label10");
        QCOMPARE(link->font().family(), QString("Arial"));
        QCOMPARE(link->font().pointSizeF(), 9.75);
        QVERIFY(link->font().underline());
        QVERIFY(!link->font().bold());
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(link->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(link->cursor().hotSpot(), QPoint(12, 1));
        QCOMPARE(link->cursor().pixmap().size(), QSize(32, 32));
        // Every other control takes the window's font.
        QCOMPARE(form->findChild<QLabel *>("Label4")->font(), form->font());
    }

    void installedIconIsTheWindowIcon() {
        const QImage installed(QStringLiteral(ICON_PNG));
        const QImage window = makeForm(false)->windowIcon().pixmap(32, 32).toImage();
        QCOMPARE(installed.size(), QSize(32, 32));
        QSet<QRgb> colours;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const QRgb a = installed.pixel(x, y);
                const QRgb b = window.pixel(x, y);
                QVERIFY2(a == b || (qAlpha(a) == 0 && qAlpha(b) == 0),
                         qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
                colours.insert(b);
            }
        }
        QVERIFY(colours.size() <= 16);
    }

    void fieldsAreNamedByTheirCaptions() {
        const auto form = makeForm(false);
        const QStringList captions{"Phone #1", "Phone #2", "Phone #3",
                                   "Phone #4", "Phone #5", "FREE SMS"};
        for (int i = 0; i < 6; ++i) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(field(*form, i));
            QVERIFY(a);
            QCOMPARE(a->text(QAccessible::Name), captions[i]);
        }
        // The selector's accessible name is its text on Linux; elsewhere this name is read.
        QCOMPARE(form->findChild<QComboBox *>("Combo1")->accessibleName(),
                 QString("Select COM Port"));
    }

    void tabMovesThroughTheControlsInTheirOrder_data() {
        QTest::addColumn<bool>("withPort");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("selector enabled")
            << true
            << QStringList{"Text1Num", "Text2Num", "Text3Num", "SaveCMD",     "ExitCMD", "Combo1",
                           "ReadCMD",  "Text4Num", "Text5Num", "TextFreeNum", "Text1Num"};
        QTest::newRow("selector disabled is skipped")
            << false << QStringList{"Text1Num", "Text2Num", "Text3Num", "SaveCMD",     "ExitCMD",
                                    "ReadCMD",  "Text4Num", "Text5Num", "TextFreeNum", "Text1Num"};
    }
    void tabMovesThroughTheControlsInTheirOrder() {
        QFETCH(bool, withPort);
        QFETCH(QStringList, order);
        const auto form = makeForm(false);
        if (withPort)
            form->findChild<QComboBox *>("Combo1")->setEnabled(true);
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QStringList visited;
        for (int i = 0; i < order.size(); ++i) {
            QWidget *focus = QApplication::focusWidget();
            QVERIFY(focus);
            // The selector's text part holds the focus on its behalf.
            if (qobject_cast<QComboBox *>(focus->parentWidget()))
                focus = focus->parentWidget();
            visited << focus->objectName();
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        QCOMPARE(visited, order);
    }

    void startUpWithoutAFileShowsTheDefaultsAndWritesNothing() {
        const auto form = makeForm();
        QCOMPARE(shown(*form), values(DialerSettings::defaults()));
        QCOMPARE(form->settings(), DialerSettings::defaults());
        QCoreApplication::processEvents();
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!QFile::exists(m_settingsPath));
    }

    void startUpShowsTheFileWithoutLeadingBlanks() {
        writeBytes(m_settingsPath, "\"  123\",\"b\",\" c \",\"d\",\"e\",\"   \"\r\n");
        const auto form = makeForm();
        const QStringList expected{"123", "b", "c ", "d", "e", ""};
        QCOMPARE(shown(*form), expected);
        QCOMPARE(values(form->settings()), expected);
    }

    void unreadableFileStillOpensTheWindowAndTellsWhy() {
        const QByteArray truncated("\"100\",\"200\",\"3");
        writeBytes(m_settingsPath, truncated);
        const auto form = makeForm();
        QCOMPARE(shown(*form), QStringList({"100", "200", "333333333", "444444444", "555555555",
                                            "*123*123456789#"}));
        QVERIFY(m_messages.isEmpty()); // told once the event loop runs, with the window up
        QTRY_COMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].contains(QDir::toNativeSeparators(m_settingsPath)));
        QCOMPARE(readBytes(m_settingsPath), truncated);
    }

    void startUpSurvivesAnySettingsFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<int>("messages");
        QByteArray garbage(4096, 0);
        QRandomGenerator random(42);
        for (char& c : garbage)
            c = char(random.bounded(256));
        QTest::newRow("binary garbage") << garbage << false << -1;
        QTest::newRow("empty") << QByteArray() << false << 1;
        QTest::newRow("truncated") << QByteArray("\"1\",\"2") << false << 1;
        QTest::newRow("megabytes of junk after the six fields")
            << QByteArray("1,2,3,4,5,6\r\n") + QByteArray(6 << 20, '\x98') << false << 0;
        QTest::newRow("one value of 20 MB") << "\"" + QByteArray(20 << 20, '7') << false << 1;
        QTest::newRow("a folder of that name") << QByteArray() << true << 1;
    }
    void startUpSurvivesAnySettingsFile() {
        QFETCH(QByteArray, content);
        QFETCH(bool, folder);
        QFETCH(int, messages);
        if (folder)
            QVERIFY(QDir().mkpath(m_settingsPath));
        else
            writeBytes(m_settingsPath, content);
        const auto form = makeForm();
        QCoreApplication::processEvents();
        if (messages >= 0)
            QCOMPARE(m_messages.size(), messages);
        QVERIFY(m_messages.size() <= 1);
        // The record and the fields agree, and the file is as it was.
        QCOMPARE(values(form->settings()), shown(*form));
        if (folder) {
            QVERIFY(QFileInfo(m_settingsPath).isDir());
            QVERIFY(QDir().rmdir(m_settingsPath));
        } else {
            QCOMPARE(readBytes(m_settingsPath), content);
        }
    }

    void leadingBlanksGoWhileTyping_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("expectedCaret");
        QTest::newRow("a blank in an empty field") << "" << 0 << " "
                                                   << "" << 0;
        QTest::newRow("blanks, then digits") << "" << 0 << "  12 3"
                                             << "12 3" << 4;
        QTest::newRow("a blank after text stays") << "12" << 2 << " "
                                                  << "12 " << 3;
        QTest::newRow("a blank before text goes") << "123" << 0 << " "
                                                  << "123" << 0;
        QTest::newRow("a blank inside stays") << "123" << 1 << " "
                                              << "1 23" << 2;
    }
    void leadingBlanksGoWhileTyping() {
        QFETCH(QString, start);
        QFETCH(int, caret);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QFETCH(int, expectedCaret);
        const auto form = makeForm();
        for (int i = 0; i < 6; ++i) {
            QLineEdit *edit = field(*form, i);
            edit->setText(start);
            edit->setCursorPosition(caret);
            QTest::keyClicks(edit, typed);
            QCOMPARE(edit->text(), expected);
            QCOMPARE(form->settings()[i], expected);
            QCOMPARE(edit->cursorPosition(), expectedCaret);
        }
    }

    void pastedTextLosesItsLeadingBlanks() {
        const auto form = makeForm();
        QLineEdit *edit = field(*form, 2);
        edit->clear();
        QApplication::clipboard()->setText("   +7 495 ");
        QSignalSpy changes(edit, &QLineEdit::textChanged);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), QString("+7 495 "));
        QCOMPARE(form->settings().PhoneNum3, QString("+7 495 "));
        QCOMPARE(edit->cursorPosition(), 7);
        QCOMPARE(changes.size(), 2); // the paste, then the one write-back: no endless loop
    }

    // Every caption, button text and the link show whole: with the fonts this machine resolves
    // for Arial, and with a wider face in its place (a desktop without Arial or a metric-compatible
    // substitute), where the window steps its font down.
    void everyCaptionShowsWhole_data() {
        QTest::addColumn<QString>("inArialsPlace");
        QTest::newRow("fonts of this machine") << QString();
        QTest::newRow("a wider face") << "DejaVu Sans";
    }
    void everyCaptionShowsWhole() {
        QFETCH(QString, inArialsPlace);
        if (!inArialsPlace.isEmpty()) {
            QVERIFY2(QFontDatabase::families().contains(inArialsPlace), qPrintable(inArialsPlace));
            QFont::insertSubstitution("Arial", inArialsPlace);
            QFont::insertSubstitution("Liberation Sans", inArialsPlace);
        }
        const auto form = makeForm();
        QFont::removeSubstitutions("Arial");
        QFont::removeSubstitutions("Liberation Sans");
        if (!inArialsPlace.isEmpty())
            QCOMPARE(QFontInfo(form->font()).family(), inArialsPlace);
        QCOMPARE(cutCaptions(*form), QStringList());
        // The measure does see a caption that is cut: with a font far too wide for the layout,
        // every caption is.
        QFont wide = form->font();
        wide.setPointSizeF(40);
        for (QWidget *child : form->findChildren<QWidget *>())
            child->setFont(wide);
        QCOMPARE(cutCaptions(*form).size(), 12);
    }

    void completeReplyFillsFieldsAndRecord() {
        const auto form = makeForm();
        const QString far(40000, u'5');
        form->SortLine(judgeReply(QString("!  101,202,,404,%1,*7#,\r\n").arg(far)));
        QCOMPARE(form->CorrectData(), qint16(1));
        const QStringList expected{"101", "202", "", "404", far, "*7#"};
        QCOMPARE(shown(*form), expected);
        QCOMPARE(values(form->settings()), expected);
    }

    void incompleteReplyTouchesNothing() {
        const auto form = makeForm();
        form->SortLine(judgeReply(u"!1,2,3,4,5\r\n"));
        QCOMPARE(form->CorrectData(), qint16(0));
        QCOMPARE(shown(*form), values(DialerSettings::defaults()));
        QCOMPARE(form->settings(), DialerSettings::defaults());
        form->SortLine(judgeReply(u",,,,,,,"));
        QCOMPARE(form->CorrectData(), qint16(1));
        form->SortLine(judgeReply(u"X"));
        QCOMPARE(form->CorrectData(), qint16(0));
        QCOMPARE(shown(*form), QStringList(6, QString()));
    }

    void exitWritesTheShownValuesAndEnds() {
        const auto form = makeForm();
        form->show();
        field(*form, 0)->setText("  900");
        field(*form, 5)->setText("*100#");
        QSignalSpy unloaded(form.get(), &Form1::unloaded);
        QTest::mouseClick(form->findChild<QPushButton *>("ExitCMD"), Qt::LeftButton);
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(!form->isVisible());
        QCOMPARE(readBytes(m_settingsPath),
                 QByteArray("\"900\",\"222222222\",\"333333333\",\"444444444\",\"555555555\","
                            "\"*100#\"\r\n"));
    }

    void closingOtherwiseWritesNothing() {
        const QByteArray old("\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n");
        writeBytes(m_settingsPath, old);
        const auto form = makeForm();
        form->show();
        field(*form, 0)->setText("changed");
        QVERIFY(form->close());
        QCOMPARE(readBytes(m_settingsPath), old);
    }

    void exitThatCannotWriteKeepsTheWindowAndEveryValue() {
        const QString folder = m_dir.filePath("later");
        auto form = std::make_unique<Form1>();
        form->setSettingsStore(SettingsStore(folder + "/Velkor.ini"));
        form->setPortMap(PortMap());
        form->setInfoPresenter([this](const QString& text) { m_messages << text; });
        form->Form_Load();
        form->show();
        field(*form, 1)->setText("777");
        QSignalSpy unloaded(form.get(), &Form1::unloaded);
        QTest::mouseClick(form->findChild<QPushButton *>("ExitCMD"), Qt::LeftButton);
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].contains(QDir::toNativeSeparators(folder)));
        QVERIFY(form->isVisible());
        QCOMPARE(unloaded.size(), 0);
        QCOMPARE(form->settings().PhoneNum2, QString("777"));

        QVERIFY(QDir().mkpath(folder));
        QTest::mouseClick(form->findChild<QPushButton *>("ExitCMD"), Qt::LeftButton);
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(readBytes(folder + "/Velkor.ini").startsWith("\"111111111\",\"777\","));
    }

    void linkOpensTheMakersSite() {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        const auto form = makeForm();
        form->show();
        auto *link = form->findChild<LinkLabel *>("Label10");
        QTest::mouseClick(link, Qt::LeftButton);
        QTest::mouseClick(link, Qt::RightButton);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl(Form1::websiteUrl())});
        QCOMPARE(catcher.urls[0].host(), link->text());
        QVERIFY(m_messages.isEmpty());
    }

    void linkWithoutABrowserChangesNothing() {
        const auto form = makeForm();
        form->show();
        const QStringList before = shown(*form);
        QTest::mouseClick(form->findChild<LinkLabel *>("Label10"), Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(form->isVisible());
        QCOMPARE(shown(*form), before);
        QVERIFY(m_messages.isEmpty());
    }

    // The selector's rule: the fourth character of its text alone.
    void portNumberIsTheFourthCharacterAlone_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::newRow("COM3") << "COM3" << 3;
        QTest::newRow("COM9") << "COM9" << 9;
        QTest::newRow("COM12 gives 1") << "COM12" << 1;
        QTest::newRow("ABC5 gives 5") << "ABC5" << 5;
        QTest::newRow("typed COM7") << "COM7" << 7;
        QTest::newRow("COM0") << "COM0" << 0;
        QTest::newRow("COM alone") << "COM" << 0;
        QTest::newRow("COMx") << "COMx" << 0;
        QTest::newRow("COM 4 with a blank") << "COM 4" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("a non-ASCII digit") << QString::fromUtf16(u"COM\u0663") << 0;
    }
    void portNumberIsTheFourthCharacterAlone() {
        QFETCH(QString, text);
        QFETCH(int, port);
        QCOMPARE(SelectedPortNumber(text), port);
    }

    void minimisingAndRestoringMovesNothing() {
        const auto form = makeForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QRect before = form->findChild<QWidget *>("TextFreeNum")->geometry();
        form->showMinimized();
        form->showNormal();
        QCOMPARE(form->size(), QSize(326, 221));
        QCOMPARE(form->findChild<QWidget *>("TextFreeNum")->geometry(), before);
    }
};

QTEST_MAIN(Form1Test)
#include "tst_form1.moc"
