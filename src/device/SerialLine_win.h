// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

// The system's serial device under SerialPort on Windows: a COM port opened apart by the opening
// helper (DeviceOpening), taken up here and read by polling from the event loop (see
// SerialLine.h).

#include "LineSettings.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <memory>

class DeviceOpening;

class SerialLine : public QObject {
    Q_OBJECT

public:
    explicit SerialLine(QObject *parent = nullptr);
    ~SerialLine() override;

    void setPortName(const QString& name) { m_name = name; }
    // The line's speed and framing, taken up at the next opening; the dialer's line has no flow
    // control, and no line here ever has.
    void setLine(const LineSettings& line) { m_line = line; }

    // Starts opening the named port apart; openingDone() follows, once, unless the opening is
    // aborted first. False when it cannot start (an opening or the port is open already).
    bool beginOpening();
    void abortOpening();
    [[nodiscard]] bool isOpening() const;
    // Waits on this thread, for at most waitMs, for the opening under way: true once it is done
    // (openingDone() has been emitted), false when it is still under way.
    bool waitForOpening(int waitMs);

    void close();
    [[nodiscard]] bool isOpen() const { return m_handle != nullptr; }

    qint64 write(const QByteArray& bytes);
    QByteArray readAll();
    [[nodiscard]] qint64 bytesAvailable() const { return m_received.size(); }
    qint64 skip(qint64 count);
    bool clear(QSerialPort::Directions directions = QSerialPort::AllDirections);

    [[nodiscard]] QSerialPort::SerialPortError error() const { return m_error; }
    [[nodiscard]] QString errorString() const { return m_errorString; }
    void clearError();

    // How often waiting input is collected while the port is open.
    static constexpr int PollMs = 5;

Q_SIGNALS:
    void openingDone(bool opened);
    void readyRead();
    void errorOccurred(QSerialPort::SerialPortError error);

private:
    void onAnswer(qintptr handle, bool opened, unsigned long systemError, const QString& reason);
    bool takeUp(void *device);
    void poll();
    void setSystemError(QSerialPort::SerialPortError error, unsigned long code);

    QString m_name;
    LineSettings m_line{9600};
    void *m_handle = nullptr;
    std::unique_ptr<DeviceOpening> m_opening;
    QByteArray m_received;
    QTimer m_poll;
    QSerialPort::SerialPortError m_error = QSerialPort::NoError;
    QString m_errorString;
};
