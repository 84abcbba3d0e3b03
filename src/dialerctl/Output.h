// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "PortJob.h"
#include "Targets.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <cstdio>

namespace dialerctl {

// The version of the JSON document of read, write and apply; a script checks it before it reads
// on. 2: one object with the ports in "ports" (1 was the bare array).
inline constexpr int JsonSchema = 2;

// The results, one per port in port order, as a table for people or JSON for scripts (UTF-8).
[[nodiscard]] QByteArray resultsTable(const QList<PortResult>& results);
[[nodiscard]] QByteArray resultsJson(const QList<PortResult>& results, const QString& command);
// The same document for a run that failed as a whole: a usage or input error, or no port.
[[nodiscard]] QByteArray errorJson(const QString& command, const QString& reason,
                                   const QString& message);

// The ports and their states, as `dialerctl ports` shows them.
[[nodiscard]] QByteArray portsTable(const QList<PortState>& ports);
[[nodiscard]] QByteArray portsJson(const QList<PortState>& ports);

// Appends one JSON line per exchange to a file, each in one write, so a run that is killed
// leaves whole lines. A line that cannot be written whole (a full disk) leaves nothing.
class ExchangeLog {
public:
    [[nodiscard]] bool open(const QString& path);
    [[nodiscard]] QString errorString() const { return m_error; }
    [[nodiscard]] QString fileName() const { return m_file.fileName(); }
    // False when the line did not reach the file; errorString() says why.
    [[nodiscard]] bool append(const ExchangeRecord& record, const QString& serialNumber);

private:
    QFile m_file;
    QString m_error;
};

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

// Writes bytes and flushes; true when all of them went out. Text (UTF-8) bound for a Windows
// console goes out as the console's own UTF-16, which it shows whatever its code page; raw
// bytes (the windows-1251 settings line) always go out as they are.
enum class Bytes { Utf8Text, Raw };
bool writeOut(std::FILE *stream, const QByteArray& bytes, Bytes kind = Bytes::Utf8Text);

} // namespace dialerctl
