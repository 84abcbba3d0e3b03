// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <cstdio>
#include <optional>

// The console or terminal dialerctl writes to: what differs between a Windows console and a
// terminal elsewhere (Console_win.cpp, Console_unix.cpp), and what is built on it.
namespace dialerctl {

struct Target;

// True when the stream is a terminal (on Windows, a console).
[[nodiscard]] bool isTerminal(std::FILE *stream);

// Whether status lines on the stream can be rewritten in place with a terminal's cursor
// controls.
[[nodiscard]] bool rewritesLines(std::FILE *stream);

// UTF-8 text for a Windows console, written as the console's own UTF-16, which it shows whatever
// its code page (866 or 1251 on a Russian system); true when all of it went out. Nothing where
// the stream is no such console: its bytes go out as they are.
[[nodiscard]] std::optional<bool> writeToConsole(std::FILE *stream, const QByteArray& utf8);

// What is written to the stream goes out byte for byte (no CR before each LF on Windows).
void setBinary(std::FILE *stream);

// True when the program's console is its own and closes as soon as the program ends: started
// from Explorer with a double click, not from a command prompt. Never elsewhere.
[[nodiscard]] bool consoleClosesWithProgram();

// Waits until a key is pressed in that console.
void waitForKey();

// Writes bytes and flushes; true when all of them went out. Text (UTF-8) bound for a Windows
// console goes out as the console's own UTF-16, which it shows whatever its code page; raw
// bytes (the windows-1251 settings line) always go out as they are.
enum class Bytes { Utf8Text, Raw };
bool writeOut(std::FILE *stream, const QByteArray& bytes, Bytes kind = Bytes::Utf8Text);

// One live status line per port on a terminal: each line is rewritten in place as its port
// moves on. Does nothing when the stream is not a terminal.
class StatusLines {
public:
    StatusLines(std::FILE *stream, const QList<Target>& targets);
    void update(qsizetype line, const QString& status);

private:
    void draw(qsizetype line);

    std::FILE *m_stream;
    bool m_enabled = false;
    QStringList m_labels;
    QStringList m_statuses;
};

} // namespace dialerctl
