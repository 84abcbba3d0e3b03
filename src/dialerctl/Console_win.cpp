// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Console.h"

#include <QString>

#include <algorithm>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace dialerctl {

bool isTerminal(std::FILE *stream) {
    return _isatty(_fileno(stream)) != 0;
}

// A console takes no cursor controls.
bool rewritesLines(std::FILE *) {
    return false;
}

std::optional<bool> writeToConsole(std::FILE *stream, const QByteArray& utf8) {
    const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || GetConsoleMode(console, &mode) == 0)
        return std::nullopt;
    if (std::fflush(stream) != 0)
        return false;
    const QString text = QString::fromUtf8(utf8);
    qsizetype done = 0;
    while (done < text.size()) {
        DWORD wrote = 0;
        const auto chunk = static_cast<DWORD>(std::min<qsizetype>(text.size() - done, 8192));
        if (WriteConsoleW(console, text.utf16() + done, chunk, &wrote, nullptr) == 0 || wrote == 0)
            return false;
        done += wrote;
    }
    return true;
}

void setBinary(std::FILE *stream) {
    _setmode(_fileno(stream), _O_BINARY);
}

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
