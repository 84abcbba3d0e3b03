// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

// The system's serial device under SerialPort on Windows: the communications API read by polling
// from the event loop (see SerialLine.h).

#include <QSerialPort>
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
