// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "settings/DialerSettings.h"

#include <QMetaType>
#include <QStringList>
#include <QTest>

// Six values in a row, as a test table writes them.
inline DialerSettings record(const QStringList& values) {
    DialerSettings s;
    for (int i = 0; i < DialerSettings::FieldCount; ++i)
        s[i] = values.value(i);
    return s;
}

inline QStringList values(const DialerSettings& s) {
    QStringList list;
    for (int i = 0; i < DialerSettings::FieldCount; ++i)
        list << s[i];
    return list;
}

Q_DECLARE_METATYPE(DialerSettings)

namespace QTest {
template<>
inline char *toString(const DialerSettings& t) {
    return QTest::toString(values(t).join(u'|'));
}
} // namespace QTest
