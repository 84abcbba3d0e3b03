// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "Results.h"

#include <QFile>
#include <QString>

namespace dialerctl {

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

} // namespace dialerctl
