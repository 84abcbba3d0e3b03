// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Console.h"

// A terminal here outlives the programs run in it.
namespace dialerctl {

bool consoleClosesWithProgram() {
    return false;
}

void waitForKey() {}

} // namespace dialerctl
