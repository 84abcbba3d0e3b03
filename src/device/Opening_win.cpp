// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// A trial opening on Windows: a thread of its own opens the COM port as the line does, and closes
// it.

#include "Opening_p.h"
#include "SerialLine.h"

namespace OpeningSystem {

void openAndClose(const QString& devicePath) {
    SerialLine line;
    line.setPortName(devicePath);
    if (line.open(QIODevice::ReadWrite))
        line.close();
}

std::shared_ptr<TrialOpening::Attempt> beginApart(const QString&) {
    return nullptr;
}

} // namespace OpeningSystem
