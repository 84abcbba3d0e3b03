// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "device/Opening.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Makes every opening of one device hang, as a Bluetooth serial link's does, until released or
// for at most `hangMs`: the opening helper is replaced by a script that waits before it runs the
// real one, so the wait happens where a driver's would, in a process of its own that holds the
// device's guard. On leaving scope it releases the opening, waits until the script has gone on,
// and puts the real helper back.
class HangingOpening {
public:
    explicit HangingOpening(const QString& devicePath, int hangMs = 5000)
        : m_real(DeviceOpening::program()) {
        const QString script = m_dir.filePath(QStringLiteral("dialer-open"));
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(script));
        const QString dir = m_dir.path();
        file.write(QStringLiteral("#!/bin/sh\n"
                                  "if [ \"$1\" = '%1' ]; then\n"
                                  "    echo >>'%2/started'\n"
                                  "    n=0\n"
                                  "    while [ ! -e '%2/release' ] && [ $n -lt %3 ]; do\n"
                                  "        /bin/sleep 0.01\n"
                                  "        n=$((n + 1))\n"
                                  "    done\n"
                                  "    echo >>'%2/returned'\n"
                                  "fi\n"
                                  "exec '%4' \"$@\"\n")
                       .arg(devicePath, dir, QString::number(hangMs / 10), m_real)
                       .toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                            QFile::ReadOther | QFile::ExeOther);
        DeviceOpening::setProgram(script);
    }
    ~HangingOpening() {
        release();
        (void)QTest::qWaitFor([this] { return openingsReturned() == openingsStarted(); }, 10000);
        DeviceOpening::setProgram(m_real);
        QTest::qWait(50); // the helper answers nobody, closes the device and ends
    }
    HangingOpening(const HangingOpening&) = delete;
    HangingOpening& operator=(const HangingOpening&) = delete;

    [[nodiscard]] int openingsStarted() const { return lines(QStringLiteral("started")); }
    [[nodiscard]] int openingsReturned() const { return lines(QStringLiteral("returned")); }
    void release() {
        QFile file(m_dir.filePath(QStringLiteral("release")));
        (void)file.open(QIODevice::WriteOnly);
    }

private:
    [[nodiscard]] int lines(const QString& name) const {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }

    QTemporaryDir m_dir;
    QString m_real;
};
