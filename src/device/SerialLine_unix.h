// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

// The system's serial device under SerialPort on Unix: a terminal device opened apart by the
// opening helper (DeviceOpening) and taken up here, as Qt Serial Port takes up the devices it
// opens itself: the same lock file in the same folder (other programs' locks are honoured, and
// ours are seen by them), exclusive use (TIOCEXCL), the line raw at the given speed and framing,
// and the device's own modes put back at closing.
//
// Qt Serial Port cannot take up a device another process has opened, and its reads cannot tell a
// hang-up from silence: a read that finds the line hung up (an adapter unplugged, a USB device
// gone off the bus) returns nothing, which it reports with whatever error the system last had.
// Here a read that returns end of file, a hang-up the system reports, and a read or write error
// are each the line's loss, reported once.

#include "LineSettings.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <memory>

class DeviceOpening;
class QLockFile;
class QSocketNotifier;

class SerialLine : public QObject {
    Q_OBJECT

public:
    explicit SerialLine(QObject *parent = nullptr);
    ~SerialLine() override;

    void setPortName(const QString& name) { m_name = name; }
    // The line's speed and framing, taken up at the next opening; the dialer's line has no flow
    // control, and no line here ever has.
    void setLine(const LineSettings& line) { m_line = line; }

    // Starts opening the named device apart. False when it fails at once (the device is locked
    // by another program, or the lock cannot be made): error() tells. Otherwise openingDone()
    // follows, once, unless the opening is aborted first.
    bool beginOpening();
    void abortOpening();
    [[nodiscard]] bool isOpening() const;
    // Waits on this thread, for at most waitMs, for the opening under way: true once it is done
    // (openingDone() has been emitted), false when it is still under way.
    bool waitForOpening(int waitMs);

    void close();
    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }

    // Takes the bytes; what the device does not take at once goes out as it can.
    qint64 write(const QByteArray& bytes);
    QByteArray readAll();
    [[nodiscard]] qint64 bytesAvailable() const { return m_received.size(); }
    qint64 skip(qint64 count);
    bool clear(QSerialPort::Directions directions = QSerialPort::AllDirections);

    [[nodiscard]] QSerialPort::SerialPortError error() const { return m_error; }
    [[nodiscard]] QString errorString() const { return m_errorString; }
    void clearError();

    // The lock file Qt Serial Port would take for this device.
    [[nodiscard]] static QString lockFilePath(const QString& devicePath);

Q_SIGNALS:
    void openingDone(bool opened);
    void readyRead();
    void errorOccurred(QSerialPort::SerialPortError error);

private:
    void onAnswer(qintptr handle, bool opened, unsigned long systemError, const QString& reason);
    bool takeUp(int fd);
    void readWaiting();
    bool writeWaiting();
    void onWritable();
    void lose(const QString& why);
    void setSystemError(QSerialPort::SerialPortError error, int code);
    void releaseLock();

    QString m_name;
    LineSettings m_line{9600};
    int m_fd = -1;
    std::unique_ptr<QLockFile> m_lock;     // under the device's real name
    std::unique_ptr<QLockFile> m_linkLock; // under the name given, where it is a link
    std::unique_ptr<DeviceOpening> m_opening;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<QSocketNotifier> m_writable;
    QByteArray m_received;
    QByteArray m_pending;  // written, not yet taken by the device
    QByteArray m_restored; // the device's own modes (termios), put back at closing
    bool m_lost = false;
    QSerialPort::SerialPortError m_error = QSerialPort::NoError;
    QString m_errorString;
};
