// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "ui/ExchangeController.h"

#include <QTest>

// An exchange's port opens off the caller's thread, so a press is under way only once the opening
// has been taken up: the command is out, or the press was refused. Waits for that.
inline bool openingTakenUp(const ExchangeController& exchange, int timeoutMs = 3000) {
    return QTest::qWaitFor(
        [&exchange] { return exchange.state() != ExchangeController::State::Opening; }, timeoutMs);
}
