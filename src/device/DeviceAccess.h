// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include <optional>

// Why a device would not open, where the serial layer's permission error alone cannot tell: it
// answers so for a device this user may not open, for one another program has locked, and for a
// process that may open no further file.
namespace DeviceAccess {

// True when this process may open no further file (the port's lock could not be made).
[[nodiscard]] bool outOfDescriptors();

// The group whose members may open the device, when the device is there and this user may not
// open it; nothing where the system grants devices otherwise.
[[nodiscard]] std::optional<QString> groupToJoin(const QString& devicePath);

} // namespace DeviceAccess
