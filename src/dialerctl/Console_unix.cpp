// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Console.h"

#include <QString>

#include <unistd.h>

namespace dialerctl {

bool isTerminal(std::FILE *stream) {
    return ::isatty(::fileno(stream)) != 0;
}

bool rewritesLines(std::FILE *stream) {
    return isTerminal(stream) && qEnvironmentVariable("TERM") != u"dumb";
}

// A terminal here takes UTF-8 as it is.
std::optional<bool> writeToConsole(std::FILE *, const QByteArray&) {
    return std::nullopt;
}

void setBinary(std::FILE *) {}

// A terminal here outlives the programs run in it.
bool consoleClosesWithProgram() {
    return false;
}

void waitForKey() {}

} // namespace dialerctl
