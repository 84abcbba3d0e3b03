// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Form1.h"

#include "BuildConfig.h"
#include "FormLayout.h"
#include "LinkLabel.h"
#include "PortSelector.h"
#include "ShellLink.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>

// The icon and the cursor are XPM source compiled in. Made straight from their arrays they need
// neither the resource system nor a search of the image format plugins, which alone cost a few
// milliseconds of every start.
#include "resources/dialer-config.xpm"
#include "resources/hand.xpm"

namespace {

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
    setWindowIcon(QIcon(QPixmap(dialer_config_xpm)));

    const QHash<QByteArray, QWidget *> controls = FormLayout::build(*this);
    for (int i = 0; i < DialerSettings::FieldCount; ++i)
        m_fields[i] = control<QLineEdit>(controls, FormLayout::FieldNames[i]);
    Combo1 = control<PortSelector>(controls, "Combo1");
    auto *ReadCMD = control<QPushButton>(controls, "ReadCMD");
    auto *SaveCMD = control<QPushButton>(controls, "SaveCMD");
    auto *ExitCMD = control<QPushButton>(controls, "ExitCMD");
    auto *Label10 = control<LinkLabel>(controls, "Label10");

    m_selectorTip = Combo1->toolTip();
    Combo1->setAccessibleName(m_selectorTip);

    Label10->setText(QUrl(websiteUrl()).host());
    QFont linkFont(QStringLiteral("Arial"));
    linkFont.setPointSizeF(9.75);
    linkFont.setUnderline(true);
    Label10->setFont(linkFont);
    QPalette linkPalette = Label10->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label10->setPalette(linkPalette);
    // A pointing hand whose fingertip is the hot spot.
    Label10->setCursor(QCursor(QPixmap(hand_xpm), 12, 1));
    FormLayout::fitCaptions(controls);

    connect(m_fields[0], &QLineEdit::textChanged, this, &Form1::Text1Num_Change);
    connect(m_fields[1], &QLineEdit::textChanged, this, &Form1::Text2Num_Change);
    connect(m_fields[2], &QLineEdit::textChanged, this, &Form1::Text3Num_Change);
    connect(m_fields[3], &QLineEdit::textChanged, this, &Form1::Text4Num_Change);
    connect(m_fields[4], &QLineEdit::textChanged, this, &Form1::Text5Num_Change);
    connect(m_fields[5], &QLineEdit::textChanged, this, &Form1::TextFreeNum_Change);
    connect(Combo1, &QComboBox::editTextChanged, this, &Form1::Combo1_Change);
    connect(Combo1, &PortSelector::popupAboutToShow, this, &Form1::refreshPorts);
    connect(&m_probe, &PortProbe::probed, this, &Form1::offerPort);
    connect(&m_probe, &PortProbe::finished, this, [this] {
        m_startingUp = false;
        Q_EMIT portsProbed();
    });
    connect(ReadCMD, &QPushButton::clicked, &m_exchange, &ExchangeController::ReadCMD_Click);
    connect(SaveCMD, &QPushButton::clicked, &m_exchange, &ExchangeController::SaveCMD_Click);
    // The values are in the fields before the verdict's message is shown.
    connect(&m_exchange, &ExchangeController::verdictReached, this, &Form1::SortLine);
    connect(ExitCMD, &QPushButton::clicked, this, &Form1::ExitCMD_Click);
    connect(Label10, &LinkLabel::clicked, this, &Form1::Label10_Click);

    m_fields[0]->setFocus();
}

Form1::~Form1() {
    m_probe.cancel();
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

int Form1::selectedPort() const {
    return selectedPortOf(Combo1->currentText());
}

void Form1::showInfo(const QString& text, std::function<void()> dismissed) {
    if (m_infoPresenter) {
        m_infoPresenter(text);
        if (dismissed)
            dismissed();
        return;
    }
    // Modal, and shown without an event loop of its own: whatever showed it goes on once it is
    // dismissed.
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("info"), text,
                                QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    if (dismissed)
        connect(box, &QMessageBox::finished, this,
                [dismissed = std::move(dismissed)] { dismissed(); });
    box->show();
}

void Form1::PortDiscovery() {
    SerialPort& MSComm1 = m_exchange.port();
    MSComm1.setPortMap(m_portSource());
    m_startingUp = true;
    m_probe.start(MSComm1.portMap());
}

// Devices plugged in after start-up: looked for when the list opens (or, while nothing is
// offered and the list cannot open, when the window is activated). The ports offered keep their
// numbers and places, the text in the selector stays as the user left it, and an exchange under
// way keeps its port: only the ports not offered yet are tried, on port objects of their own.
void Form1::refreshPorts() {
    if (m_probe.isRunning())
        return; // the ports under way are offered as they are found
    // The session's numbering is the one the exchange's port holds.
    PortMap ports = m_exchange.port().portMap();
    ports.adoptNewDevices(m_portSource());
    m_exchange.port().setPortMap(ports);
    PortMap unlisted;
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
        const std::optional<PortMap::Device> device = ports.device(n);
        if (device && Combo1->findText(PortMap::portName(n)) < 0)
            unlisted.setDevice(n, *device);
    }
    if (!unlisted.isEmpty())
        m_probe.start(unlisted);
}

// One port tried: offered where it opened, the text in the selector left as it was. The selector
// comes alive with the first port found chosen; during the start-up probe, a lower port found
// later takes its place, unless the user has chosen another meanwhile.
void Form1::offerPort(const ProbedPort& probed) {
    const bool wasEnabled = Combo1->isEnabled();
    const QString text = Combo1->currentText();
    {
        const QSignalBlocker quiet(Combo1);
        offerPorts({probed});
        if (Combo1->currentText() != text)
            Combo1->setEditText(text);
    }
    if (Combo1->count() == 0)
        return;
    const bool lowerFound = m_startingUp && text == m_autoSelected && text != Combo1->itemText(0) &&
                            m_exchange.state() == ExchangeController::State::Idle;
    if (wasEnabled && !lowerFound)
        return;
    Combo1->setEnabled(true);
    Combo1->setCurrentIndex(0);
    Combo1->setEditText(Combo1->itemText(0));
    m_autoSelected = Combo1->currentText();
}

// Adds the ports that opened, in number order, each with its device in a tooltip; the
// selector's own tooltip tells why a present device is missing, where it can be told.
void Form1::offerPorts(const QList<ProbedPort>& probed) {
    for (const ProbedPort& p : probed) {
        const QString name = PortMap::portName(p.port);
        if (p.opened) {
            m_portNotes.remove(p.port);
            if (Combo1->findText(name) >= 0)
                continue;
            int at = 0;
            while (at < Combo1->count() && SelectedPortNumber(Combo1->itemText(at)) < p.port)
                ++at;
            QString tip = p.devicePath;
            if (!p.description.isEmpty())
                tip += QStringLiteral(" (%1)").arg(p.description);
            Combo1->insertItem(at, name);
            Combo1->setItemData(at, tip, Qt::ToolTipRole);
        } else if (p.error == SerialPort::Error::PermissionDenied ||
                   p.error == SerialPort::Error::Busy || p.error == SerialPort::Error::Timeout) {
            m_portNotes.insert(p.port, QStringLiteral("%1: %2").arg(name, p.reason));
        } else if (!p.devicePath.isEmpty()) {
            m_portNotes.remove(p.port);
        }
    }
    QStringList tooltip{m_selectorTip};
    tooltip += m_portNotes.values();
    Combo1->setToolTip(tooltip.join(u'\n'));
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
    m_probe.cancel();
    m_exchange.abandon();
    closePort();
    Q_EMIT unloaded();
    close();
}

void Form1::Label10_Click() {
    ShellLink::OpenLink(this, websiteUrl());
}

void Form1::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !Combo1->isEnabled() &&
        m_exchange.state() == ExchangeController::State::Idle)
        refreshPorts();
}

void Form1::closeEvent(QCloseEvent *event) {
    // Leaving other than through Exit writes nothing; an exchange under way ends without a verdict.
    m_probe.cancel();
    m_exchange.abandon();
    closePort();
    event->accept();
}
