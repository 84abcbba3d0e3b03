// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

// What the two systems' openings (Opening_unix.cpp, Opening_win.cpp) share: how the helper's
// answer is read, and the words for every way it can fail to come.

#include "Opening.h"
#include "opener/OpenerProtocol.h"

namespace HelperAnswer {

// How the helper's channel ended its answer.
struct Received {
    qsizetype bytes = 0;         // of the record
    bool hungUp = false;         // the channel closed before the whole record came
    unsigned long readError = 0; // the system's code where reading it failed
    qintptr device = -1;         // the opened device that came with it, now this program's
};

// The opening the answer comes to: the device opened, the system's refusal, or why there is no
// answer in words. A device that came with anything but an opened answer is not taken.
[[nodiscard]] DeviceOpening::Answer interpret(const OpenerProtocol::Answer& record,
                                              const Received& received);

// The helper could not be started, or no channel to it could be made; `code` is the system's.
[[nodiscard]] QString notStarted(unsigned long code);
[[nodiscard]] QString noChannel(unsigned long code);

} // namespace HelperAnswer
