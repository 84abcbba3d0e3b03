// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QComboBox>

// The port selector: a list of ports with a text part the user may type into. The text is
// exactly what was typed or chosen: no inline completion ("COM" stays "COM", "com3" stays "com3"),
// and neither Enter nor leaving the field swaps it for a list item that matches it but for case.
class PortSelector : public QComboBox {
    Q_OBJECT

public:
    explicit PortSelector(QWidget *parent = nullptr);

    void showPopup() override;

Q_SIGNALS:
    // The list is about to open: the moment to look for ports that have appeared.
    void popupAboutToShow();
};
