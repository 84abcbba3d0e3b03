// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// Any bytes arriving from the device, judged as the timer tick judges them: no crash, one of the
// four outcomes, and a read outcome whose values the dialer can be sent back unchanged.

#include "device/DialerProtocol.h"
#include "device/Outcome.h"
#include "text/AnsiText.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString collected =
        AnsiText::decode(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    const Verdict verdict = judgeReply(collected);
    switch (verdict.outcome) {
    case Outcome::NoAnswer:
        if (size != 0 || verdict.values)
            std::abort();
        break;
    case Outcome::Saved:
        if (QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)) != "OK\r\n")
            std::abort();
        break;
    case Outcome::Read: {
        if (!verdict.values)
            std::abort();
        const std::optional<DialerSettings> again =
            DialerProtocol::parseReadResponse(DialerProtocol::SaveCommand(*verdict.values));
        if (!again || !(*again == *verdict.values))
            std::abort();
        break;
    }
    case Outcome::CheckFields:
        if (verdict.values || size == 0)
            std::abort();
        break;
    }
    if (outcomeMessage(verdict.outcome).isEmpty())
        std::abort();
    return 0;
}
