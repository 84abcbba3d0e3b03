// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PortSelector.h"

#include "device/PortMap.h"

#include <QLineEdit>

PortSelector::PortSelector(QWidget *parent)
    : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // The editable combo box completes what is typed from its list, case-insensitively, and
    // when editing ends it swaps the text for an item that matches the way the completer does.
    // Without a completer that match is exact, case included, so the text stays as typed.
    setCompleter(nullptr);
}

void PortSelector::showPopup() {
    Q_EMIT popupAboutToShow();
    QComboBox::showPopup();
}

int SelectedPortNumber(QStringView selectorText) {
    if (selectorText.size() < 4)
        return 0;
    const char16_t c = selectorText[3].unicode();
    return c >= u'0' && c <= u'9' ? c - u'0' : 0;
}

int selectedPortOf(QStringView selectorText) {
    return PortMap::systemPortNumber(selectorText).value_or(SelectedPortNumber(selectorText));
}
