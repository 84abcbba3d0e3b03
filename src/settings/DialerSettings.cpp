// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "DialerSettings.h"

DialerSettings DialerSettings::defaults() {
    DialerSettings s;
    // Positions 1 to 5 default to nine equal digits: 111111111 ... 555555555.
    for (int i = 0; i < 5; ++i)
        s[i] = QString(9, QChar(u'1' + i));
    s.FreeNum = QStringLiteral("*123*123456789#");
    return s;
}

QString& DialerSettings::operator[](int index) {
    return this->*fields.at(static_cast<std::size_t>(index));
}

const QString& DialerSettings::operator[](int index) const {
    return this->*fields.at(static_cast<std::size_t>(index));
}
