// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "FormLayout.h"

#include "LinkLabel.h"
#include "PortSelector.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <limits>
#include <vector>

namespace FormLayout {

namespace {

QWidget *create(const Control& c, QWidget *parent) {
    const QString caption = QString::fromUtf16(c.caption);
    switch (c.kind) {
    case Kind::Frame:
        return new QGroupBox(caption, parent);
    case Kind::Label: {
        auto *label = new QLabel(caption, parent);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // A label tall enough for two lines (FREE SMS) wraps its caption; the others keep theirs
        // on one line.
        label->setWordWrap(c.height >= 2 * 240);
        return label;
    }
    case Kind::TextField: {
        auto *field = new QLineEdit(parent);
        // No length limit: a value of any length must survive the window unchanged.
        field->setMaxLength(std::numeric_limits<int>::max());
        return field;
    }
    case Kind::ComboBox: {
        auto *combo = new PortSelector(parent);
        combo->setEditText(caption);
        combo->setEnabled(false);
        return combo;
    }
    case Kind::Button: {
        auto *button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        return button;
    }
    case Kind::LinkLabel:
        return new LinkLabel(parent);
    }
    return nullptr;
}

} // namespace

QSize clientSize() {
    return {toPixels(ClientWidthTwips), toPixels(ClientHeightTwips)};
}

QHash<QByteArray, QWidget *> build(QWidget& form) {
    // The layout was drawn for an 8-point dialog font of Arial's width; wider desktop fonts would
    // cut the captions short. Where Arial itself is missing, the system's metric-compatible
    // substitute (Liberation Sans, Nimbus Sans) takes its place. Set first, so that every control
    // is made with it.
    QFont windowFont(QStringLiteral("Arial"));
    windowFont.setPointSizeF(8);
    form.setFont(windowFont);

    QHash<QByteArray, QWidget *> built;
    built.insert(QByteArrayLiteral("Form1"), &form);
    std::vector<std::pair<int, QWidget *>> tabStops;
    for (const Control& c : Controls) {
        QWidget *parent = built.value(QByteArray(c.container));
        Q_ASSERT(parent);
        QWidget *widget = create(c, parent);
        widget->setObjectName(QString::fromLatin1(c.name));
        widget->setGeometry(toPixels(c));
        if (*c.tooltip)
            widget->setToolTip(QString::fromUtf16(c.tooltip));
        built.insert(QByteArray(c.name), widget);
        if (widget->focusPolicy() != Qt::NoFocus)
            tabStops.emplace_back(c.tabIndex, widget);
    }
    for (const Buddy& b : Buddies)
        qobject_cast<QLabel *>(built.value(QByteArray(b.label)))
            ->setBuddy(built.value(QByteArray(b.field)));

    std::sort(tabStops.begin(), tabStops.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabStops.size(); ++i)
        QWidget::setTabOrder(tabStops[i - 1].second, tabStops[i].second);
    form.setFixedSize(clientSize());
    return built;
}

bool captionFits(const QWidget& control) {
    const QFontMetrics metrics = control.fontMetrics();
    const QStyle *style = control.style();
    if (const auto *label = qobject_cast<const QLabel *>(&control)) {
        const QRect room = label->contentsRect();
        if (!label->wordWrap())
            return metrics.horizontalAdvance(label->text()) <= room.width() &&
                   metrics.height() <= room.height();
        const int flags = static_cast<int>(label->alignment().toInt()) | Qt::TextWordWrap;
        const QRect needed = metrics.boundingRect(room, flags, label->text());
        const QStringList words = label->text().split(u' ', Qt::SkipEmptyParts);
        return needed.height() <= room.height() &&
               std::all_of(words.begin(), words.end(), [&](const QString& word) {
                   return metrics.horizontalAdvance(word) <= room.width();
               });
    }
    if (const auto *button = qobject_cast<const QPushButton *>(&control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return metrics.horizontalAdvance(button->text()) <= room.width() &&
               metrics.height() <= room.height();
    }
    if (const auto *frame = qobject_cast<const QGroupBox *>(&control)) {
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect title =
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
        return frame->rect().contains(title) &&
               metrics.horizontalAdvance(frame->title()) <= title.width();
    }
    if (const auto *combo = qobject_cast<const QComboBox *>(&control)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        const QRect field = style->subControlRect(QStyle::CC_ComboBox, &option,
                                                  QStyle::SC_ComboBoxEditField, combo);
        // The widest name the selector can show, with the line edit's own margins.
        return metrics.horizontalAdvance(QStringLiteral("COM9")) + 4 <= field.width();
    }
    return true;
}

void fitCaptions(const QHash<QByteArray, QWidget *>& controls) {
    QWidget *form = controls.value(QByteArrayLiteral("Form1"));
    QList<QWidget *> captioned;
    QList<QWidget *> ownFont; // controls with a font of their own: the link
    for (const Control& c : Controls) {
        QWidget *widget = controls.value(QByteArray(c.name));
        (widget->testAttribute(Qt::WA_SetFont) ? ownFont : captioned) << widget;
    }
    // A quarter point at a time, down to 6 points: below that nothing reads well anyway.
    constexpr qreal Step = 0.25;
    constexpr qreal Smallest = 6;
    const auto shrinkUntilAllFit = [](QWidget *holder, const QList<QWidget *>& widgets) {
        const auto allFit = [&widgets] {
            return std::all_of(widgets.begin(), widgets.end(),
                               [](const QWidget *w) { return captionFits(*w); });
        };
        QFont font = holder->font();
        while (!allFit() && font.pointSizeF() - Step >= Smallest) {
            font.setPointSizeF(font.pointSizeF() - Step);
            holder->setFont(font);
        }
    };
    shrinkUntilAllFit(form, captioned);
    for (QWidget *widget : ownFont)
        shrinkUntilAllFit(widget, {widget});
}

} // namespace FormLayout
