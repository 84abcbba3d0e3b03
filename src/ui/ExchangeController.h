// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "device/Exchange.h"

#include <QObject>
#include <QString>

#include <functional>

// What the window's exchange needs from the window: the port its selector names, the record a
// save sends, and a way to tell the user.
class ExchangeHost {
public:
    virtual ~ExchangeHost() = default;
    // The port number the selector's text names (the selector's own rule).
    [[nodiscard]] virtual int selectedPort() const = 0;
    [[nodiscard]] virtual const DialerSettings& settings() const = 0;
    // Shows the text; `dismissed`, where given, runs once the user has taken note (the modal box
    // has been closed). The call itself returns at once.
    virtual void showInfo(const QString& text, std::function<void()> dismissed = {}) = 0;
};

// The window's exchange: a Read or Save press (ReadCMD_Click, SaveCMD_Click) takes the selected
// port number into PortNum and starts the exchange (Exchange) with the current record; the
// exchange collects at each event of the serial control and judges at Timer1's tick, by the
// window's rule (the reply alone); Timer1_Timer reports the verdict and shows its message, and the
// exchange ends, closing the port, once the message has been dismissed. One press, one verdict: a
// press while an exchange is under way is ignored. A press that cannot start is told in a message
// as well.
class ExchangeController : public QObject {
    Q_OBJECT

public:
    using State = Exchange::State;
    using Refusal = Exchange::Refusal;
    static constexpr int CollectionMs = Exchange::CollectionMs;
    static constexpr int OpeningWaitMs = Exchange::OpeningWaitMs;
    static constexpr qsizetype MaxCollected = Exchange::MaxCollected;

    explicit ExchangeController(ExchangeHost& host, QObject *parent = nullptr);

    void ReadCMD_Click();
    void SaveCMD_Click();
    // Timer1's tick, with the verdict on what the serial control collected by then.
    void Timer1_Timer(const Verdict& verdict);

    // The host is going away (Exit): the exchange ends without a verdict.
    void abandon() { m_exchange.abandon(); }

    [[nodiscard]] SerialPort& port() { return m_exchange.port(); }
    [[nodiscard]] const SerialPort& port() const { return m_exchange.port(); }
    [[nodiscard]] State state() const { return m_exchange.state(); }
    [[nodiscard]] const QString& TheData() const { return m_exchange.TheData(); }
    [[nodiscard]] const QString& PortNum() const { return m_portNum; }
    [[nodiscard]] const QTimer& timer() const { return m_exchange.timer(); }

Q_SIGNALS:
    // The verdict and, for a read, the six values, just before its message is shown. A host that
    // keeps the values takes them here.
    void verdictReached(const Verdict& verdict);
    // A press that could not start; its message follows through showInfo.
    void refused(Exchange::Refusal why, const QString& message);
    // The command has gone out; the collection begins.
    void commandSent();
    // Back to Idle: after a verdict's message, or after a refused press.
    void exchangeEnded();

private:
    void press(Exchange::Command command);

    ExchangeHost& m_host;
    Exchange m_exchange{Exchange::Judging::ReplyAlone}; // owns MSComm1 and Timer1
    QString m_portNum;
};
