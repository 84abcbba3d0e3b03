// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QSerialPort>

// The system's serial device under SerialPort.
//
// Elsewhere it is Qt Serial Port itself. On Windows it is the communications API read by polling
// from the event loop: Qt's Windows port waits for the system's receive event, and a driver that
// never signals it (wine's on a pseudo-terminal, some USB adapters' drivers) leaves every reply
// unread. A read that returns at once with whatever is waiting, every few milliseconds while the
// port is open, needs nothing from the driver but its input queue: only the bytes the driver
// reports waiting are read, so that a driver that does not honour the read that returns at once
// holds nothing up. It offers the part of QSerialPort's interface that SerialPort uses, with the
// same errors.
#ifdef Q_OS_WIN
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class SerialLine : public QObject {
    Q_OBJECT

public:
    explicit SerialLine(QObject *parent = nullptr);
    ~SerialLine() override;

    void setPortName(const QString& name) { m_name = name; }
    bool setBaudRate(qint32 baud);
    bool setParity(QSerialPort::Parity parity);
    bool setDataBits(QSerialPort::DataBits bits);
    bool setStopBits(QSerialPort::StopBits bits);
    bool setFlowControl(QSerialPort::FlowControl flow);

    bool open(QIODevice::OpenMode mode);
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
    void readyRead();
    void errorOccurred(QSerialPort::SerialPortError error);

private:
    void poll();
    void setSystemError(QSerialPort::SerialPortError error, unsigned long code);

    QString m_name;
    qint32 m_baudRate = 9600;
    QSerialPort::Parity m_parity = QSerialPort::NoParity;
    QSerialPort::DataBits m_dataBits = QSerialPort::Data8;
    QSerialPort::StopBits m_stopBits = QSerialPort::OneStop;
    void *m_handle = nullptr;
    QByteArray m_received;
    QTimer m_poll;
    QSerialPort::SerialPortError m_error = QSerialPort::NoError;
    QString m_errorString;
};
#else
using SerialLine = QSerialPort;
#endif
