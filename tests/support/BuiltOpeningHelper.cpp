// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// Tests and benchmarks run from folders of their own: they start the opening helper this build
// made, found from the test program's folder.

#include "device/Opening.h"

#include <QCoreApplication>

namespace {

void useBuiltHelper() {
    DeviceOpening::setProgram(QCoreApplication::applicationDirPath() +
                              QStringLiteral("/" DIALER_HELPER_FROM_PROGRAM));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(useBuiltHelper)
