// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "text/SystemText.h"

#include <cstring>
#include <optional>

namespace SystemText {

// The C library's texts are all in the common table.
std::optional<QString> platformPhrase(const QString&) {
    return std::nullopt;
}

QString fromCode(unsigned long code) {
    if (code == 0)
        return QStringLiteral("система не назвала причину");
    return inRussian(QString::fromLocal8Bit(std::strerror(static_cast<int>(code))));
}

} // namespace SystemText
