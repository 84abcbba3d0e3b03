// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The baseline for `dialerctl ports`: a bare QCoreApplication that opens and closes each port
// named on its command line once, and nothing else.
//
//   build/bench/bare_ports PATH...

#include <QCoreApplication>
#include <QSerialPort>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    int opened = 0;
    const QStringList paths = QCoreApplication::arguments().mid(1);
    for (const QString& path : paths) {
        QSerialPort port(path);
        port.setBaudRate(115200);
        if (port.open(QIODevice::ReadWrite))
            ++opened;
        port.close();
    }
    return opened == paths.size() ? 0 : 1;
}
