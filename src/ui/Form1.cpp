#include "Form1.h"

#include "BuildConfig.h"
#include "FormLayout.h"
#include "LinkLabel.h"
#include "ShellLink.h"
#include "device/PortDiscovery.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>

namespace {

constexpr const char *FieldNames[DialerSettings::FieldCount] = {
    "Text1Num", "Text2Num", "Text3Num", "Text4Num", "Text5Num", "TextFreeNum"};

template<class T>
T *control(const QHash<QByteArray, QWidget *>& controls, const char *name) {
    T *widget = qobject_cast<T *>(controls.value(QByteArray(name)));
    Q_ASSERT(widget);
    return widget;
}

} // namespace

Form1::Form1(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
    , m_exchange(*this) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Настройки GSM"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/dialer-config.xpm")));

    const QHash<QByteArray, QWidget *> controls = FormLayout::build(*this);
    for (int i = 0; i < DialerSettings::FieldCount; ++i)
        m_fields[i] = control<QLineEdit>(controls, FieldNames[i]);
    Combo1 = control<QComboBox>(controls, "Combo1");
    auto *ReadCMD = control<QPushButton>(controls, "ReadCMD");
    auto *SaveCMD = control<QPushButton>(controls, "SaveCMD");
    auto *ExitCMD = control<QPushButton>(controls, "ExitCMD");
    auto *Label10 = control<LinkLabel>(controls, "Label10");

    Combo1->setAccessibleName(Combo1->toolTip());

    Label10->setText(QUrl(websiteUrl()).host());
    QFont linkFont(QStringLiteral("Arial"));
    linkFont.setPointSizeF(9.75);
    linkFont.setUnderline(true);
    Label10->setFont(linkFont);
    QPalette linkPalette = Label10->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label10->setPalette(linkPalette);
    // A pointing hand whose fingertip is the hot spot.
    Label10->setCursor(QCursor(QPixmap(QStringLiteral(":/cursors/hand.xpm")), 12, 1));

    connect(m_fields[0], &QLineEdit::textChanged, this, &Form1::Text1Num_Change);
    connect(m_fields[1], &QLineEdit::textChanged, this, &Form1::Text2Num_Change);
    connect(m_fields[2], &QLineEdit::textChanged, this, &Form1::Text3Num_Change);
    connect(m_fields[3], &QLineEdit::textChanged, this, &Form1::Text4Num_Change);
    connect(m_fields[4], &QLineEdit::textChanged, this, &Form1::Text5Num_Change);
    connect(m_fields[5], &QLineEdit::textChanged, this, &Form1::TextFreeNum_Change);
    connect(Combo1, &QComboBox::editTextChanged, this, &Form1::Combo1_Change);
    connect(ReadCMD, &QPushButton::clicked, &m_exchange, &ExchangeController::ReadCMD_Click);
    connect(SaveCMD, &QPushButton::clicked, &m_exchange, &ExchangeController::SaveCMD_Click);
    // The values are in the fields before the verdict's message is shown.
    connect(&m_exchange, &ExchangeController::verdictReached, this, &Form1::SortLine);
    connect(ExitCMD, &QPushButton::clicked, this, &Form1::ExitCMD_Click);
    connect(Label10, &LinkLabel::clicked, this, &Form1::Label10_Click);

    m_fields[0]->setFocus();
}

Form1::~Form1() {
    m_exchange.abandon();
}

QString Form1::websiteUrl() {
    return QStringLiteral(DIALER_WEBSITE_URL);
}

void Form1::setInfoPresenter(std::function<void(const QString&)> presenter) {
    m_infoPresenter = std::move(presenter);
}

void Form1::Form_Load() {
    SettingsLoadResult loaded = m_store.Load();
    m_settings = loaded.settings;
    for (int i = 0; i < DialerSettings::FieldCount; ++i)
        m_fields[i]->setText(loaded.settings[i]);
    PortDiscovery();
    // Told once the window is up, so the message has the window behind it.
    if (!loaded.report.ok())
        QMetaObject::invokeMethod(
            this, [this, text = loaded.report.describe()] { showInfo(text); },
            Qt::QueuedConnection);
}

void Form1::TextNum_Change(int field) {
    QLineEdit *edit = m_fields[field];
    const QString text = edit->text();
    qsizetype blanks = 0;
    while (blanks < text.size() && text[blanks] == u' ')
        ++blanks;
    m_settings[field] = text.sliced(blanks);
    if (blanks == 0)
        return;
    // The caret keeps its place in what remains. Writing the shorter text raises one more
    // change, which finds nothing left to remove.
    const int caret = edit->cursorPosition();
    edit->setText(m_settings[field]);
    edit->setCursorPosition(std::max(0, caret - static_cast<int>(blanks)));
}

void Form1::SortLine(const Verdict& verdict) {
    if (!verdict.parsed())
        return;
    m_correctData = 0;
    if (!verdict.values)
        return;
    m_settings = *verdict.values;
    for (int i = 0; i < DialerSettings::FieldCount; ++i)
        m_fields[i]->setText((*verdict.values)[i]);
    m_correctData = 1;
}

QString Form1::portSelectorText() const {
    return Combo1->currentText();
}

void Form1::showInfo(const QString& text) {
    if (m_infoPresenter) {
        m_infoPresenter(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("info"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void Form1::PortDiscovery() {
    SerialPort& MSComm1 = m_exchange.port();
    MSComm1.setPortMap(m_portMap ? *m_portMap : PortMap::fromSystem());
    QStringList notes;
    for (const ProbedPort& probed : ::PortDiscovery(MSComm1)) {
        const QString name = QStringLiteral("COM%1").arg(probed.port);
        if (probed.opened) {
            QString tip = probed.devicePath;
            if (!probed.description.isEmpty())
                tip += QStringLiteral(" (%1)").arg(probed.description);
            Combo1->addItem(name);
            Combo1->setItemData(Combo1->count() - 1, tip, Qt::ToolTipRole);
        } else if (probed.error == SerialPort::Error::PermissionDenied ||
                   probed.error == SerialPort::Error::Busy) {
            notes << QStringLiteral("%1: %2").arg(name, probed.reason);
        }
    }
    if (Combo1->count() > 0)
        Combo1->setEnabled(true);
    if (Combo1->isEnabled())
        Combo1->setCurrentIndex(0);
    // Why a present device is missing from the list, where it can be told.
    if (!notes.isEmpty())
        Combo1->setToolTip(Combo1->toolTip() + u'\n' + notes.join(u'\n'));
}

void Form1::Combo1_Change() {
    closePort();
}

void Form1::closePort() {
    SerialPort& MSComm1 = m_exchange.port();
    if (MSComm1.PortOpen())
        (void)MSComm1.setPortOpen(false);
}

void Form1::ExitCMD_Click() {
    const SettingsReport saved = m_store.Save(m_settings);
    if (!saved.ok()) {
        // Nothing is lost: the window stays with every value, and Exit can be tried again.
        showInfo(saved.describe());
        return;
    }
    m_exchange.abandon();
    closePort();
    Q_EMIT unloaded();
    close();
}

void Form1::Label10_Click() {
    ShellLink::OpenLink(this, websiteUrl());
}

void Form1::closeEvent(QCloseEvent *event) {
    // Leaving other than through Exit writes nothing; an exchange under way ends without a verdict.
    m_exchange.abandon();
    closePort();
    event->accept();
}
