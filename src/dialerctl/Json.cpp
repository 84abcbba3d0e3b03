// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Json.h"

namespace dialerctl {

QJsonArray jsonValues(const DialerSettings& settings) {
    QJsonArray array;
    for (int i = 0; i < DialerSettings::FieldCount; ++i)
        array.append(settings[i]);
    return array;
}

QJsonValue jsonValuesOrNull(const std::optional<DialerSettings>& values) {
    return values ? QJsonValue(jsonValues(*values)) : QJsonValue();
}

QJsonValue orNull(const QString& text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonValue hexId(const std::optional<quint16>& id) {
    return id ? QJsonValue(QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0'))) : QJsonValue();
}

QJsonObject jsonAdapter(const PortMap::Adapter& adapter) {
    return {{QStringLiteral("serial"), orNull(adapter.serialNumber)},
            {QStringLiteral("vid"), hexId(adapter.vendorId)},
            {QStringLiteral("pid"), hexId(adapter.productId)},
            {QStringLiteral("by_id"), orNull(adapter.byId)},
            {QStringLiteral("description"), orNull(adapter.description)},
            {QStringLiteral("manufacturer"), orNull(adapter.manufacturer)}};
}

} // namespace dialerctl
