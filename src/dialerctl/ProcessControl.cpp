// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "ProcessControlState.h"

namespace dialerctl {

using interruption::g_status;

bool Interruptions::arrived() const {
    return g_status.load() != 0;
}

int Interruptions::exitStatus() const {
    return g_status.load();
}

void Interruptions::deliver() {
    Q_EMIT interrupted();
}

} // namespace dialerctl
