// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "Outcome.h"
#include "SerialPort.h"
#include "settings/DialerSettings.h"

#include <QObject>
#include <QString>
#include <QTimer>

// What an exchange needs from whoever presses its buttons: the port selector's text, the record
// a save sends, and a way to tell the user. A window shows a modal box; a program without one
// keeps or prints the text.
class ExchangeHost {
public:
    virtual ~ExchangeHost() = default;
    [[nodiscard]] virtual QString portSelectorText() const = 0;
    [[nodiscard]] virtual const DialerSettings& settings() const = 0;
    // Returns once the user has taken note (a modal box has been dismissed).
    virtual void showInfo(const QString& text) = 0;
};

// One exchange with the dialer: a Read or Save press opens the selected port and writes one
// command, everything the device sends in the next 500 ms is collected, and the first tick of
// Timer1 judges it (judgeReply), reports the verdict, shows its message and closes the port. One
// press, one verdict: a press while an exchange is under way is ignored, and the verdict is taken
// once however many ticks arrive while its message box is open.
//
// The port's opening holds up nobody: the device is first opened on a thread of its own (as the
// probe opens it), the event loop goes on meanwhile, and a port whose opening has not returned
// within OpeningWaitMs is reported as not opened.
//
// The exchange owns its serial port and its timer and shares nothing with another exchange, so
// several can run side by side in one event loop, one per port.
class ExchangeController : public QObject {
    Q_OBJECT

public:
    enum class State { Idle, Opening, Collecting, Reporting };
    Q_ENUM(State)

    // Why a press could not start an exchange.
    enum class Refusal {
        Unsendable, // a value of the record holds a comma, CR, LF or a character the line lacks
        PortFailed, // the port did not open, or took no command; port().error() tells why
    };
    Q_ENUM(Refusal)

    static constexpr int CollectionMs = 500;
    // How long the port's opening may take before the exchange gives up on it; the window goes
    // on meanwhile, and a press is ignored as during the collection.
    static constexpr int OpeningWaitMs = 1500;
    // A complete read response is a few dozen characters; a device that floods the line is not
    // allowed to exhaust memory. What arrives beyond this is read and dropped.
    static constexpr qsizetype MaxCollected = qsizetype{64} * 1024;

    explicit ExchangeController(ExchangeHost& host, QObject *parent = nullptr);

    void ReadCMD_Click();
    void SaveCMD_Click();
    void MSComm1_OnComm();
    void Timer1_Timer();

    // The host is going away (Exit): the exchange ends without a verdict.
    void abandon();

    [[nodiscard]] SerialPort& port() { return m_port; }
    [[nodiscard]] const SerialPort& port() const { return m_port; }
    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] const QString& TheData() const { return m_theData; }
    [[nodiscard]] const QString& PortNum() const { return m_portNum; }
    [[nodiscard]] const QTimer& timer() const { return m_timer; }

Q_SIGNALS:
    // The verdict and, for a read, the six values, just before its message is shown. A host that
    // keeps the values takes them here.
    void verdictReached(const Verdict& verdict);
    // A press that could not start; its message follows through showInfo.
    void refused(ExchangeController::Refusal why, const QString& message);
    // The command has gone out; the collection begins.
    void commandSent();
    // Back to Idle: after a verdict's message, or after a refused press.
    void exchangeEnded();

private:
    enum class Command { Read, Save };
    void start(Command command);
    void onOpened(bool opened);
    void refuse(Refusal why, const QString& message);
    void finish();

    ExchangeHost& m_host;
    SerialPort m_port;
    QTimer m_timer;
    QString m_theData;
    QString m_portNum;
    State m_state = State::Idle;
    Command m_command = Command::Read;
};
