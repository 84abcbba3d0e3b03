// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "Opening.h"

// What each system gives a trial opening.
namespace OpeningSystem {

// Opens the device as the serial port layer would and closes it again, on the calling thread.
void openAndClose(const QString& devicePath);

// An opening and closing of the device away from this process's threads, where the system
// allows; nothing where it does not, and a thread then makes it.
[[nodiscard]] std::shared_ptr<TrialOpening::Attempt> beginApart(const QString& devicePath);

} // namespace OpeningSystem
