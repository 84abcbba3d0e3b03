// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "IPAddressBox.h"

#include "IPAddressEdit.h"
#include "InetAddress.h"
#include "text/AnsiText.h"

#include <QResizeEvent>

IPAddressBox::IPAddressBox(QWidget *parent)
    : IPAddressBox([](QWidget *host) { return new IPAddressEdit(host); }, parent) {}

IPAddressBox::IPAddressBox(const EditorFactory& makeEditor, QWidget *parent)
    : QWidget(parent) {
    UserControl_Initialize(makeEditor);
}

IPAddressBox::~IPAddressBox() = default; // the editor goes with its parent

void IPAddressBox::UserControl_Initialize(const EditorFactory& makeEditor) {
    setObjectName(QStringLiteral("IPAddressBox"));
    // The extent is fixed: whatever a host asks for is undone by the size constraints at once, so
    // a resize never leads to another.
    setFixedSize(WidthPixels, HeightPixels);
    m_editor = makeEditor ? makeEditor(this) : nullptr;
    if (!m_editor)
        return;
    m_editor->setGeometry(rect());
    setFocusProxy(m_editor);
    connect(m_editor, &IPAddressEdit::addressChanged, this, [this](quint32 address) {
        Q_EMIT addressChanged(qint32(InetAddress::toIntegerForm(address)));
    });
}

QSize IPAddressBox::sizeHint() const {
    return {WidthPixels, HeightPixels};
}

void IPAddressBox::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    if (m_editor)
        m_editor->setGeometry(rect());
}

qint32 IPAddressBox::IPAddressAsLong() const {
    if (!m_editor)
        return 0;
    return qint32(InetAddress::toIntegerForm(m_editor->address()));
}

void IPAddressBox::setIPAddressAsLong(qint32 newIP) {
    if (m_editor)
        m_editor->setAddress(InetAddress::toAddressNumber(quint32(newIP)));
}

QString IPAddressBox::IPAddressAsString() const {
    return InetAddress::inetNtoa(quint32(IPAddressAsLong()));
}

void IPAddressBox::setIPAddressAsString(const QString& newIP) {
    // Text the 8-bit code page cannot carry is no address either.
    const std::optional<QByteArray> text = AnsiText::encode(newIP);
    setIPAddressAsLong(qint32(text ? InetAddress::inetAddr(*text) : InetAddress::None));
}
