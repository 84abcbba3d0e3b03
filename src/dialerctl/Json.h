// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "device/PortMap.h"
#include "settings/DialerSettings.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include <optional>

// The pieces every JSON document of dialerctl and every line of its log are made of, spelt one
// way everywhere: words joined by an underscore.
namespace dialerctl {

// The version of the documents; a script checks it before it reads on. 2: one object with the
// ports in "ports" (1 was the bare array).
inline constexpr int JsonSchema = 2;

[[nodiscard]] QJsonArray jsonValues(const DialerSettings& settings);
[[nodiscard]] QJsonValue jsonValuesOrNull(const std::optional<DialerSettings>& values);
[[nodiscard]] QJsonValue orNull(const QString& text);
// Four hex digits, or null.
[[nodiscard]] QJsonValue hexId(const std::optional<quint16>& id);
// serial, vid, pid, by_id, description, manufacturer: each null where unknown.
[[nodiscard]] QJsonObject jsonAdapter(const PortMap::Adapter& adapter);

} // namespace dialerctl
