// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QComboBox>
#include <QStringView>

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

// The port number the selector's text names: its fourth character alone, when it is a decimal
// digit; otherwise 0. "COM3" gives 3, "COM12" gives 1, "COM 4" and "COM" give 0.
[[nodiscard]] int SelectedPortNumber(QStringView selectorText);

// The port a press takes from the selector: a typed name of a port beyond the nine ("COM12" on
// Windows) is that port; otherwise the fourth character gives the number.
[[nodiscard]] int selectedPortOf(QStringView selectorText);
