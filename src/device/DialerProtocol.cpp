// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "DialerProtocol.h"

#include "text/AnsiText.h"

namespace DialerProtocol {

namespace {
constexpr QChar Separator = u',';
}

QString ReadRequest() {
    return QStringLiteral("?6\r\n");
}

QString Acknowledgement() {
    return QStringLiteral("OK\r\n");
}

QString SaveCommand(const DialerSettings& settings) {
    QString command = QStringLiteral("!");
    for (int i = 0; i < DialerSettings::FieldCount; ++i)
        command += settings[i] + Separator;
    command += QStringLiteral("\r\n");
    return command;
}

Unsendable whyUnsendable(QStringView value) {
    if (value.contains(Separator))
        return Unsendable::Separator;
    if (value.contains(u'\r') || value.contains(u'\n'))
        return Unsendable::LineBreak;
    if (!AnsiText::isEncodable(value))
        return Unsendable::OutsideCodePage;
    return Unsendable::No;
}

int firstUnsendableValue(const DialerSettings& settings) {
    for (int i = 0; i < DialerSettings::FieldCount; ++i) {
        if (whyUnsendable(settings[i]) != Unsendable::No)
            return i + 1;
    }
    return 0;
}

bool isAcknowledgement(QStringView reply) {
    return reply == Acknowledgement();
}

std::optional<DialerSettings> parseReadResponse(QStringView reply) {
    DialerSettings values;
    qsizetype start = 1;
    for (int i = 0; i < DialerSettings::FieldCount; ++i) {
        const qsizetype comma = start < reply.size() ? reply.indexOf(Separator, start) : -1;
        // Once a comma is missing every later search fails too: the reply is incomplete.
        if (comma < 0)
            return std::nullopt;
        values[i] = reply.sliced(start, comma - start).toString();
        start = comma + 1;
    }
    return values;
}

} // namespace DialerProtocol
