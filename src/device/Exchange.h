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
// (115200 8N1) and writes one command, everything the device sends in the next 500 ms is
// collected at each of the port's receive events, and at the tick the collection is judged and
// the verdict told (judged); the exchange ends when its face calls finish(), which closes the
// port. When the verdict is reported, and how long the exchange stays with it, is the face's
// choice: the window shows its message box first, a program goes on at once.
//
// The port's opening holds up nobody: the device is opened apart by the opening helper, the event
// loop goes on meanwhile, and a port whose opening has not returned within OpeningWaitMs is
// reported as not opened. Each exchange owns its port and its timer and shares nothing with
// another, so several run side by side in one event loop, one per port. The face sets the port
// up (its map, or a device named directly, a label) and may hold it between exchanges.
class Exchange : public QObject {
    Q_OBJECT

public:
    enum class Command { Read, Save };
    Q_ENUM(Command)
    enum class State { Idle, Opening, Collecting, Reporting };
    Q_ENUM(State)
    // How the collected reply is judged. The window's rule: on the reply alone, whichever command
    // went out, so that an acknowledgement after a read request is "saved" and six values after a
    // save fill the fields as a read does. A command-line run's rule: as the answer to the command
    // that went out (judgeAnswer), where a reply of the other kind is a garbled one.
    enum class Judging { ReplyAlone, AsAnswer };
    Q_ENUM(Judging)

    // Why a start could not become an exchange.
    enum class Refusal {
        Unsendable, // a value of the record holds a comma, CR, LF or a character the line lacks
        PortFailed, // the port did not open, or took no command; port().error() tells why
    };
    Q_ENUM(Refusal)

    static constexpr int CollectionMs = 500;
    // How long the port's opening may take before the exchange gives up on it; a start is
    // ignored meanwhile, as during the collection.
    static constexpr int OpeningWaitMs = SerialPort::OpeningWaitMs;
    // A complete read response is a few dozen characters; a device that floods the line is not
    // allowed to exhaust memory. What arrives beyond this is read and dropped.
    static constexpr qsizetype MaxCollected = qsizetype{64} * 1024;

    explicit Exchange(Judging judging, QObject *parent = nullptr);

    // Starts a read, or a save of the record, unless an exchange is under way (then false and
    // nothing happens). The port is set up in the order the window's serial control takes it,
    // with CommPort `commPort` where one is given; none where the port names its device directly.
    bool start(Command command, const DialerSettings& record,
               std::optional<qint16> commPort = std::nullopt);
    // Ends a judged exchange: the port is closed and the exchange is ready for the next.
    void finish();
    // Ends whatever is under way without a verdict (the face is going away, or was stopped), and
    // closes the port.
    void abandon();

    // Between two exchanges of one task: opens the port, drops what arrives (a slow dialer's late
    // reply) until the line has been quiet for quietMs, or for at most maxWaitMs in all, closes
    // it and emits lineQuiet(). A port that does not open is left for the next exchange to
    // report, and lineQuiet() follows.
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
    // The collection window is over (Timer1's tick), and this is the verdict on what arrived:
    // once per exchange, which stays Reporting until finish().
    void judged(const Verdict& verdict);
    // Back to Idle: after finish(), or after a refused start.
    void ended();
    void lineQuiet();

private:
    void onOpened(bool opened);
    void refuse(Refusal why, const QString& message);
    void collect();
    void onTick();
    void onQuiet();

    SerialPort m_port;
    QTimer m_timer; // Timer1
    QString m_theData;
    QString m_lost;
    State m_state = State::Idle;
    Judging m_judging;
    Command m_command = Command::Read;
    DialerSettings m_record;
    QTimer m_quiet;
    bool m_quietOpening = false;
    QElapsedTimer m_quietSince;
    int m_quietMaxMs = 0;
};
