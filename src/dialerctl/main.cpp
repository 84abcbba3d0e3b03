// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// dialerctl: reads, writes and verifies GSM dialers on serial ports, without a window.

#include "Program.h"

#include <QCoreApplication>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dialerctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.00"));
    QCoreApplication::setOrganizationName(QStringLiteral("dialer-config"));
    return dialerctl::run(QCoreApplication::arguments().mid(1));
}
