// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

namespace dialerctl {

// True when the program's console is its own and closes as soon as the program ends: started
// from Explorer with a double click, not from a command prompt. Never elsewhere.
[[nodiscard]] bool consoleClosesWithProgram();

// Waits until a key is pressed in that console.
void waitForKey();

} // namespace dialerctl
