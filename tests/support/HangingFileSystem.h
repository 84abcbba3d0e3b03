// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// A port whose opening the kernel holds: a file on a FUSE file system (hanging-fs) whose open()
// is answered only after `seconds`, as a Bluetooth serial port's is once it connects. Mounted for
// as long as the object lives (FUSE needs root here); unmounting lets every opener go with an
// error.
class HangingFileSystem {
public:
    explicit HangingFileSystem(int seconds) {
        m_server.setProcessChannelMode(QProcess::ForwardedChannels);
        m_server.start(QStringLiteral(HANGING_FS), {m_dir.path(), QString::number(seconds)});
        m_server.waitForStarted();
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(portPath()) && waited.elapsed() < 10000 &&
               m_server.state() == QProcess::Running)
            QTest::qWait(20);
    }
    ~HangingFileSystem() {
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
        m_server.kill();
        m_server.waitForFinished();
    }
    HangingFileSystem(const HangingFileSystem&) = delete;
    HangingFileSystem& operator=(const HangingFileSystem&) = delete;

    [[nodiscard]] bool isMounted() const { return QFileInfo::exists(portPath()); }
    [[nodiscard]] QString portPath() const { return m_dir.filePath(QStringLiteral("port")); }

private:
    QTemporaryDir m_dir;
    QProcess m_server;
};
