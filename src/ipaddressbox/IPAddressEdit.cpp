// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "IPAddressEdit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>

namespace {

// A decimal number from 0 to 255, or nothing.
class OctetValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override {
        if (input.isEmpty())
            return Intermediate;
        if (input.size() > 3)
            return Invalid;
        for (const QChar c : input)
            if (c < u'0' || c > u'9')
                return Invalid;
        return input.toInt() <= 255 ? Acceptable : Invalid;
    }
};

} // namespace

IPAddressEdit::IPAddressEdit(QWidget *parent)
    : QFrame(parent) {
    setObjectName(QStringLiteral("IPAddressEdit"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    auto *validator = new OctetValidator(this);
    for (int i = 0; i < FieldCount; ++i) {
        if (i > 0) {
            auto *dot = new QLabel(QStringLiteral("."), this);
            dot->setBackgroundRole(QPalette::Base);
            layout->addWidget(dot);
        }
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("field%1").arg(i + 1));
        edit->setAccessibleName(QStringLiteral("Field %1 of the address").arg(i + 1));
        edit->setFrame(false);
        edit->setAlignment(Qt::AlignCenter);
        edit->setValidator(validator);
        edit->installEventFilter(this);
        layout->addWidget(edit, 1);
        connect(edit, &QLineEdit::textEdited, this, [this, i] { onEdited(i); });
        connect(edit, &QLineEdit::textChanged, this, [this] {
            if (!m_writing)
                notifyIfChanged();
        });
        m_fields[std::size_t(i)] = edit;
    }
    setFocusProxy(m_fields[0]);
}

quint32 IPAddressEdit::address() const {
    quint32 address = 0;
    for (const QLineEdit *edit : m_fields)
        address = (address << 8) | quint32(edit->text().toUInt() & 0xFF);
    return address;
}

int IPAddressEdit::nonBlankFields() const {
    return int(std::count_if(m_fields.begin(), m_fields.end(),
                             [](const QLineEdit *edit) { return !edit->text().isEmpty(); }));
}

void IPAddressEdit::setAddress(quint32 address) {
    // Four fields change, one address: the notification waits for the last of them.
    m_writing = true;
    for (int i = 0; i < FieldCount; ++i)
        m_fields[std::size_t(i)]->setText(QString::number((address >> (24 - 8 * i)) & 0xFF));
    m_writing = false;
    notifyIfChanged();
}

void IPAddressEdit::notifyIfChanged() {
    const quint32 now = address();
    if (now == m_notified)
        return;
    m_notified = now;
    Q_EMIT addressChanged(now);
}

void IPAddressEdit::moveTo(int index, bool selectAll, bool atEnd) {
    QLineEdit *edit = m_fields[std::size_t(index)];
    edit->setFocus(Qt::OtherFocusReason);
    if (selectAll)
        edit->selectAll();
    else
        edit->setCursorPosition(atEnd ? int(edit->text().size()) : 0);
}

void IPAddressEdit::onEdited(int index) {
    // A third digit completes the field.
    const QLineEdit *edit = m_fields[std::size_t(index)];
    if (index + 1 < FieldCount && edit->text().size() == 3 && edit->cursorPosition() == 3)
        moveTo(index + 1, true, false);
}

bool IPAddressEdit::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    const auto it = std::find(m_fields.begin(), m_fields.end(), watched);
    if (it == m_fields.end())
        return QFrame::eventFilter(watched, event);
    const int index = int(it - m_fields.begin());
    QLineEdit *edit = *it;
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool atStart = edit->cursorPosition() == 0 && !edit->hasSelectedText();
    const bool atEnd = edit->cursorPosition() == edit->text().size() && !edit->hasSelectedText();

    switch (key->key()) {
    case Qt::Key_Period:
    case Qt::Key_Space:
        // The separator moves on once the field holds a number; it is never typed into a field.
        if (index + 1 < FieldCount && !edit->text().isEmpty() && !edit->hasSelectedText())
            moveTo(index + 1, true, false);
        return true;
    case Qt::Key_Backspace:
        if (index > 0 && atStart) {
            moveTo(index - 1, false, true);
            return true;
        }
        break;
    case Qt::Key_Left:
        if (index > 0 && atStart && key->modifiers() == Qt::NoModifier) {
            moveTo(index - 1, false, true);
            return true;
        }
        break;
    case Qt::Key_Right:
        if (index + 1 < FieldCount && atEnd && key->modifiers() == Qt::NoModifier) {
            moveTo(index + 1, false, false);
            return true;
        }
        break;
    default:
        break;
    }
    return QFrame::eventFilter(watched, event);
}
