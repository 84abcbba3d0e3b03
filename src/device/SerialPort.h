// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "LineSettings.h"
#include "PortMap.h"
#include "SerialLine.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

// The serial port as the device link drives it: a handful of properties written while the port is
// closed, then open, write one command, take what arrives at each OnComm, close.
//
// Writing PortOpen true opens COMn (CommPort) as the port map names it, exclusively, with the line
// parameters of Settings. A failing step answers false and leaves the reason in error() and
// errorString(); nothing ever ends the program.
//
// When the far end hangs up (an adapter unplugged), the port reports the loss once: it takes what
// had arrived, closes, and raises OnComm with CommEvent Lost. Input still returns what had arrived.
class SerialPort : public QObject {
    Q_OBJECT

public:
    enum class Error {
        None,
        NoSuchPort,       // the map names no device for this number, or the device is gone
        Busy,             // another program holds the port
        PermissionDenied, // the device exists but this user may not open it
        InvalidValue,     // a property value out of range, or a text the line cannot carry
        NotWhileOpen,     // a property that may only be written while the port is closed
        NotOpen,          // output on a closed port
        Io,               // the system refused; errorString() says why
        Timeout,          // the opening did not return in time (the probe's limit, a driver's)
        PartialWrite,     // only part of the command went out
    };
    Q_ENUM(Error)

    enum class CommEvent { None, Receive, Lost };
    Q_ENUM(CommEvent)

    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    void setPortMap(PortMap map) { m_map = std::move(map); }
    [[nodiscard]] const PortMap& portMap() const { return m_map; }
    // Names the device this port opens directly, instead of the one CommPort names in the map:
    // a port that is already resolved to its device (a program given a port or a path). An empty
    // path names no device, and opening fails as for a number without one.
    void nameDevice(QString path) { m_named = std::move(path); }

    // "baud,parity,data bits,stop bits", such as "115200,N,8,1".
    [[nodiscard]] bool setSettings(const QString& settings);
    [[nodiscard]] QString Settings() const { return m_settings; }

    [[nodiscard]] bool setCommPort(qint16 port);
    [[nodiscard]] qint16 CommPort() const { return m_commPort; }

    // 0: no receive events; n: OnComm whenever at least n characters are waiting.
    [[nodiscard]] bool setRThreshold(qint16 threshold);
    [[nodiscard]] qint16 RThreshold() const { return m_rThreshold; }

    // Accepted while closed and reported back; the port's own buffer grows as needed, and the
    // callers bound what they keep.
    [[nodiscard]] bool setInBufferSize(qint16 size);
    [[nodiscard]] qint16 InBufferSize() const { return m_inBufferSize; }

    // 0: text, Input decodes the line's code page; 1: binary, one character per byte value.
    [[nodiscard]] bool setInputMode(qint32 mode);
    [[nodiscard]] qint32 InputMode() const { return m_inputMode; }

    // 0: Input returns everything waiting; n: at most n characters.
    [[nodiscard]] bool setInputLen(qint16 length);
    [[nodiscard]] qint16 InputLen() const { return m_inputLen; }

    // Writing 0 discards every received character waiting; it is accepted while closed, and an
    // opening always starts with nothing waiting.
    [[nodiscard]] bool setInBufferCount(qint16 count);
    [[nodiscard]] qint16 InBufferCount() const;

    // Opening waits on this thread for the opening helper, for at most OpeningWaitMs; the
    // exchanges and the probe open with openWithin() instead.
    [[nodiscard]] bool setPortOpen(bool open);
    [[nodiscard]] bool PortOpen() const { return m_port.isOpen() && !m_kept; }

    // How long an opening may take before it is given up (Timeout): a driver that holds it longer
    // (a Bluetooth link that does not connect) holds up only the opening helper.
    static constexpr int OpeningWaitMs = 1500;

    // Opens as setPortOpen(true) does without holding up this thread: the device is opened apart
    // (DeviceOpening) and taken up here once it has opened; `done` then runs on this thread with
    // the outcome. An opening that has not returned within `waitMs` fails with Timeout. A device
    // held by another program, or a port with no device at all, is told at once.
    void openWithin(int waitMs, std::function<void(bool opened)> done);
    // Forgets an opening under way: `done` will not run.
    void cancelOpening();
    [[nodiscard]] bool isOpening() const { return m_openingDeadline.isActive(); }

    // While held, closing the port keeps the device itself open and locked, so that no other
    // program takes it between one exchange and the next of a task that needs several (read,
    // write, read back). The port reads as closed meanwhile and raises no events; opening the same
    // device again takes it back at once, with nothing waiting. Ending the hold closes a device
    // kept this way; the window never holds.
    void setHeld(bool held);

    // Sends the text as 8-bit bytes in the line's code page, in order.
    [[nodiscard]] bool setOutput(const QString& text);

    // Returns and removes the characters received so far.
    [[nodiscard]] QString Input();

    [[nodiscard]] CommEvent commEvent() const { return m_commEvent; }

    [[nodiscard]] Error error() const { return m_error; }
    [[nodiscard]] QString errorString() const { return m_errorString; }
    // "COM3 (/dev/ttyUSB0)": the port as the user knows it and the device behind it, unless the
    // user named it otherwise (a program given a device path names it by that path).
    [[nodiscard]] QString portLabel() const;
    void setPortLabel(QString label) { m_label = std::move(label); }

    // The device named directly, or the one CommPort names: the map's, or beyond the map's nine
    // the system's own port.
    [[nodiscard]] std::optional<PortMap::Device> device() const;

Q_SIGNALS:
    void OnComm();

private:
    bool fail(Error error, QString text);
    void clearError();
    void onReadyRead();
    void onPortError(QSerialPort::SerialPortError error);
    void closePort();
    void discardInput();
    bool prepareLine(const PortMap::Device& device);
    bool tookUp(bool opened, const PortMap::Device& device);
    void onLineOpened(bool opened);
    void onOpeningOverdue();

    SerialLine m_port;
    PortMap m_map;
    std::optional<QString> m_named;
    QString m_label;
    QString m_settings = QStringLiteral("9600,N,8,1");
    qint16 m_commPort = 1;
    qint16 m_rThreshold = 0;
    qint16 m_inBufferSize = 1024;
    qint32 m_inputMode = 0;
    qint16 m_inputLen = 0;
    QByteArray m_leftover; // what arrived before the port was lost or beyond InputLen
    CommEvent m_commEvent = CommEvent::None;
    QTimer m_openingDeadline;
    int m_openingWaitMs = 0;
    std::optional<PortMap::Device> m_openingDevice;
    std::function<void(bool)> m_openingDone;
    bool m_held = false;
    bool m_kept = false; // held: closed for the exchanges, the device still open underneath
    QString m_keptDevice;
    QString m_keptSettings;
    Error m_error = Error::None;
    QString m_errorString;
    bool m_losing = false;
};
