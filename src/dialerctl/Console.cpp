// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Console.h"

#include "Targets.h"

namespace dialerctl {

bool writeOut(std::FILE *stream, const QByteArray& bytes, Bytes kind) {
    if (kind == Bytes::Utf8Text) {
        if (const std::optional<bool> written = writeToConsole(stream, bytes))
            return *written;
    }
    const std::size_t wrote = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    return std::fflush(stream) == 0 && wrote == std::size_t(bytes.size());
}

StatusLines::StatusLines(std::FILE *stream, const QList<Target>& targets)
    : m_stream(stream) {
    // The lines are rewritten with the terminal's cursor controls.
    m_enabled = rewritesLines(stream);
    if (!m_enabled)
        return;
    for (const Target& t : targets) {
        m_labels << (t.port == t.device ? t.port : QStringLiteral("%1 %2").arg(t.port, t.device));
        m_statuses << QStringLiteral("waiting");
    }
    for (qsizetype i = 0; i < m_labels.size(); ++i)
        std::fputs("\n", m_stream);
    for (qsizetype i = 0; i < m_labels.size(); ++i)
        draw(i);
}

void StatusLines::update(qsizetype line, const QString& status) {
    if (!m_enabled || line < 0 || line >= m_statuses.size())
        return;
    m_statuses[line] = status;
    draw(line);
}

void StatusLines::draw(qsizetype line) {
    // Up to the port's line, clear it, write it, and back down below the last line.
    const qsizetype up = m_labels.size() - line;
    const QByteArray text = QStringLiteral("\x1b[%1A\r\x1b[2K%2  %3\x1b[%1B\r")
                                .arg(up)
                                .arg(m_labels[line], m_statuses[line])
                                .toUtf8();
    std::fputs(text.constData(), m_stream);
    std::fflush(m_stream);
}

} // namespace dialerctl
