// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Outcome.h"

#include "DialerProtocol.h"

Verdict judgeReply(QStringView reply) {
    if (reply.isEmpty())
        return {Outcome::NoAnswer, std::nullopt};
    if (DialerProtocol::isAcknowledgement(reply))
        return {Outcome::Saved, std::nullopt};
    std::optional<DialerSettings> values = DialerProtocol::parseReadResponse(reply);
    const Outcome outcome = values ? Outcome::Read : Outcome::CheckFields;
    return {outcome, std::move(values)};
}

namespace {

bool holdsLineBreak(const DialerSettings& values) {
    for (int i = 0; i < DialerSettings::FieldCount; ++i) {
        if (values[i].contains(u'\r') || values[i].contains(u'\n'))
            return true;
    }
    return false;
}

} // namespace

Verdict judgeAnswer(Sent sent, QStringView reply) {
    Verdict verdict = judgeReply(reply);
    const bool notTheAnswer = sent == Sent::SaveCommand ? verdict.outcome != Outcome::Saved &&
                                                              verdict.outcome != Outcome::NoAnswer
                                                        : verdict.outcome == Outcome::Saved;
    if (notTheAnswer || (verdict.outcome == Outcome::Read && holdsLineBreak(*verdict.values)))
        return {Outcome::CheckFields, std::nullopt};
    return verdict;
}

QString outcomeMessage(Outcome outcome) {
    switch (outcome) {
    case Outcome::NoAnswer:
        // "СОМ" here is written in Cyrillic capitals, as the dialer's makers wrote it.
        return QStringLiteral("Нет ответа от устройства.\r\n"
                              "Проверьте подключение.\r\n"
                              "Номер \u0421\u041E\u041C-порта не более 9  ");
    case Outcome::Saved:
        return QStringLiteral("Настройки сохранены  ");
    case Outcome::Read:
        return QStringLiteral("Успешно считано");
    case Outcome::CheckFields:
        return QStringLiteral("Проверьте правильность\r\n"
                              "заполнения полей настроек!");
    }
    return {};
}
