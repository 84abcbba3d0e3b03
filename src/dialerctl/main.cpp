// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// dialerctl: reads, writes and verifies GSM dialers on serial ports, without a window.

#include "Console.h"
#include "ProcessControl.h"
#include "Program.h"

#include <Version.h>

#include <QCoreApplication>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dialerctl"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(DialerDisplayVersion));
    QCoreApplication::setOrganizationName(QStringLiteral("dialer-config"));
    dialerctl::reportClosedOutput();
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty() && dialerctl::consoleClosesWithProgram()) {
        // Double-clicked: say what the program is and keep its console open to be read.
        dialerctl::writeOut(
            stdout, QByteArrayLiteral("dialerctl is a command-line tool. Open a command prompt "
                                      "(cmd) and run it there, for instance:\n"
                                      "    dialerctl ports\n    dialerctl read\n\n"));
        (void)dialerctl::run({QStringLiteral("--help")});
        dialerctl::writeOut(stdout, QByteArrayLiteral("\nPress any key to close this window.\n"));
        dialerctl::waitForKey();
        return 0;
    }
    return dialerctl::run(arguments);
}
