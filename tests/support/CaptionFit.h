// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "ui/FormLayout.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QStyle>

// The controls whose caption does not show whole: each caption (label, button, frame title, the
// link) measured with the font metrics of the control's own font against the control's size in
// the layout table. Frames leave their title a margin on each side, buttons their frame.
inline QStringList cutCaptions(const QWidget& form) {
    QStringList cut;
    for (const FormLayout::Control& c : FormLayout::Controls) {
        const QWidget *widget = form.findChild<QWidget *>(QString::fromLatin1(c.name));
        const QRect room = FormLayout::toPixels(c);
        const QFontMetrics metrics(widget->font());
        bool fits = true;
        if (const auto *label = qobject_cast<const QLabel *>(widget)) {
            if (label->wordWrap()) {
                // One word a line at worst.
                const QStringList words = label->text().split(u' ', Qt::SkipEmptyParts);
                for (const QString& word : words)
                    fits = fits && metrics.horizontalAdvance(word) <= room.width();
                fits = fits && words.size() * metrics.lineSpacing() <= room.height();
            } else {
                fits = metrics.horizontalAdvance(label->text()) <= room.width() &&
                       metrics.height() <= room.height();
            }
        } else if (const auto *button = qobject_cast<const QPushButton *>(widget)) {
            const int frame = widget->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            fits = metrics.horizontalAdvance(button->text()) + 2 * frame <= room.width();
        } else if (const auto *frame = qobject_cast<const QGroupBox *>(widget)) {
            fits = metrics.horizontalAdvance(frame->title()) + 2 * 8 <= room.width();
        }
        if (!fits)
            cut << QString::fromLatin1(c.name);
    }
    return cut;
}
