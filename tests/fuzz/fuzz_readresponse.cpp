// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// Any text as a collected reply: the parser must not crash, and what it accepts must be the text
// it was given, cut where the commas are.

#include "device/DialerProtocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString reply =
        QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2));
    const std::optional<DialerSettings> values = DialerProtocol::parseReadResponse(reply);
    if (!values)
        return 0;
    // Reassembled, the values and their commas are the reply from its second character on.
    QString rebuilt = reply.left(1);
    for (int i = 0; i < DialerSettings::FieldCount; ++i) {
        if ((*values)[i].contains(u','))
            std::abort();
        rebuilt += (*values)[i] + u',';
    }
    if (!reply.startsWith(rebuilt))
        std::abort();
    return 0;
}
