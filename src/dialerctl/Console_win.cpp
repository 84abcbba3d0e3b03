// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Console.h"

#include <windows.h>

namespace dialerctl {

// A console made for this program alone lists this one process; a command prompt's lists the
// prompt too.
bool consoleClosesWithProgram() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void waitForKey() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(input);
    INPUT_RECORD record{};
    DWORD read = 0;
    while (ReadConsoleInputW(input, &record, 1, &read) != 0 && read == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown != 0)
            return;
    }
}

} // namespace dialerctl
