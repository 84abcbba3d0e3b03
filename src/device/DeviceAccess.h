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

// A device that is there and that this user may not open.
struct Denial {
    // The group whose members may open it, where joining it would help: never root's group, and
    // never one the device grants nothing to. Empty: only the administrator can give access.
    QString group;
};
// Nothing where this user may open the device, or where the system grants devices otherwise.
[[nodiscard]] std::optional<Denial> denial(const QString& devicePath);

} // namespace DeviceAccess
