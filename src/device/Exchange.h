// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "Outcome.h"
#include "SerialPort.h"
#include "settings/DialerSettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

// One exchange with the dialer, as the window and dialerctl both run it: a start opens the port
// and writes one command, everything the device sends in the next 500 ms is collected, and then
// judged (judgeReply); the exchange ends by closing the port. When the verdict is reported, and
// how long the exchange stays with it, is its face's choice: the window shows a modal box first,
// a program goes on at once.
//
// The face calls collect() at each receive event of port() (OnComm) and judge() at
// collectionOver(), Timer1's tick. The port is opened and closed here alone; the face sets it up
// (its map, or a device named directly, a label) and may hold it between exchanges.
//
// The port's opening holds up nobody: the device is first tried apart (as the probe tries it),
// the event loop goes on meanwhile, and a port whose opening has not returned within
// OpeningWaitMs is reported as not opened. Each exchange owns its port and its timer and shares
// nothing with another, so several run side by side in one event loop, one per port.
class Exchange : public QObject {
    Q_OBJECT

public:
    enum class Command { Read, Save };
    Q_ENUM(Command)
    enum class State { Idle, Opening, Collecting, Reporting };
    Q_ENUM(State)

    // Why a start could not become an exchange.
    enum class Refusal {
        Unsendable, // a value of the record holds a comma, CR, LF or a character the line lacks
        PortFailed, // the port did not open, or took no command; port().error() tells why
    };
    Q_ENUM(Refusal)

    static constexpr int CollectionMs = 500;
    // How long the port's opening may take before the exchange gives up on it; a start is
    // ignored meanwhile, as during the collection.
    static constexpr int OpeningWaitMs = 1500;
    // A complete read response is a few dozen characters; a device that floods the line is not
    // allowed to exhaust memory. What arrives beyond this is read and dropped.
    static constexpr qsizetype MaxCollected = qsizetype{64} * 1024;

    explicit Exchange(QObject *parent = nullptr);

    // Starts a read, or a save of the record, unless an exchange is under way (then false and
    // nothing happens). The port is set up in the order the window's serial control takes it,
    // with CommPort `commPort` where one is given; none where the port names its device directly.
    bool start(Command command, const DialerSettings& record,
               std::optional<qint16> commPort = std::nullopt);
    // Takes everything waiting into the collection; what arrives while the line is being waited
    // on to fall quiet is dropped.
    void collect();
    // The verdict on what was collected, once per exchange: nothing unless collecting.
    [[nodiscard]] std::optional<Verdict> judge();
    // Ends a judged exchange: the port is closed and the exchange is ready for the next.
    void finish();
    // Ends whatever is under way without a verdict (the face is going away, or was stopped), and
    // closes the port.
    void abandon();

    // Between two exchanges of one task: opens the port, drops what arrives (a slow dialer's late
    // reply) until the line has been quiet for quietMs, or for at most maxWaitMs in all, closes
    // it and emits lineQuiet(). A port that does not open now is left for the next exchange to
    // report, and lineQuiet() follows at once.
    void waitForQuietLine(int quietMs, int maxWaitMs);

    // While held, the device stays open and locked between exchanges (SerialPort::setHeld).
    void holdPort(bool held) { m_port.setHeld(held); }

    [[nodiscard]] SerialPort& port() { return m_port; }
    [[nodiscard]] const SerialPort& port() const { return m_port; }
    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] const QString& TheData() const { return m_theData; }
    [[nodiscard]] const QTimer& timer() const { return m_timer; }
    // Why the port was lost during the collection (an adapter unplugged); empty when it was not.
    [[nodiscard]] const QString& lost() const { return m_lost; }

Q_SIGNALS:
    // A start that could not become an exchange, with the text the window shows for it.
    void refused(Exchange::Refusal why, const QString& message);
    // The command has gone out; the collection begins.
    void commandSent();
    // The collection window is over: the moment to judge.
    void collectionOver();
    // Back to Idle: after finish(), or after a refused start.
    void ended();
    void lineQuiet();

private:
    void onOpened(bool opened);
    void refuse(Refusal why, const QString& message);
    void onQuiet();

    SerialPort m_port;
    QTimer m_timer; // Timer1
    QString m_theData;
    QString m_lost;
    State m_state = State::Idle;
    Command m_command = Command::Read;
    DialerSettings m_record;
    QTimer m_quiet;
    QElapsedTimer m_quietSince;
    int m_quietMaxMs = 0;
};
