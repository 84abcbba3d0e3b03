// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QRegularExpression>
#include <QStringList>

// The Latin words of a message the user reads, once the names it quotes (paths, a group) are set
// aside: the tool's messages are Russian throughout, so there should be none but the port names
// and the captions of its own buttons.
inline QStringList foreignWords(QString message, const QStringList& quoted = {}) {
    for (const QString& name : quoted)
        message.remove(name);
    static const QRegularExpression word(QStringLiteral("[A-Za-z]+"));
    static const QStringList ours{QStringLiteral("COM"), QStringLiteral("Exit"),
                                  QStringLiteral("windows")};
    QStringList foreign;
    for (const QRegularExpressionMatch& m : word.globalMatch(message)) {
        if (!ours.contains(m.captured()))
            foreign << m.captured();
    }
    return foreign;
}
