// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "DeviceAccess.h"

// A COM port that will not open for access reasons is held by another program; the serial layer
// takes no lock file.
namespace DeviceAccess {

bool outOfDescriptors() {
    return false;
}

std::optional<Denial> denial(const QString&) {
    return std::nullopt;
}

} // namespace DeviceAccess
