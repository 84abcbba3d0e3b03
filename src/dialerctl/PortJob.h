// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "CommandLine.h"
#include "Targets.h"
#include "device/ExchangeController.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <optional>

namespace dialerctl {

// What to do on every selected port.
struct Plan {
    Command command = Command::Read; // Read, Write or Apply
    ValueSource source = ValueSource::None;
    DialerSettings values;      // the six values to write (--values, --from)
    QList<FieldChange> changes; // --set: read first, change these, write
    bool verify = false;
    bool check = false; // apply: compare only
    int retries = 0;
    int waitBusyMs = 0;
    std::optional<QString> expectSerial;
    QString backupFile;
};

// How one port ended.
struct PortResult {
    Target target;
    // read, saved, verified, no-answer, check-fields, mismatch, port-error, interrupted, refused;
    // for apply also unchanged, changed and would-change
    QString outcome;
    QString message; // the window's text for the verdict, or why the port failed
    // Why a port failed, in words that do not depend on the language: no-answer, check-fields,
    // mismatch, busy, denied, missing, lost, timeout, partial, io, interrupted, identity, backup.
    QString reason;
    std::optional<DialerSettings> valuesRead; // the six values a read returned, if one did
    std::optional<DialerSettings> written;    // the six values a save command carried
    std::optional<DialerSettings> before;     // what the dialer held before any save
    std::optional<DialerSettings> after;      // what it holds after, where that is known
    bool saveSent = false;                    // a save command went out, whatever came of it
    bool changed = false;                     // the dialer took a save that changed its values
    QString backupFile;                       // where the values before a change were kept
    PortMap::Adapter adapter;
    bool success = false;
};

// One exchange, as the log keeps it.
struct ExchangeRecord {
    QDateTime at;
    Target target;
    QString command; // read or write
    int attempt = 1;
    QString outcome;
    std::optional<DialerSettings> valuesRead;
    std::optional<DialerSettings> written;
};

// The exchanges of one port, one after another: a read; or a write (after a read, for --set),
// then a read to verify. An exchange without an answer, or with a reply not understood, is
// tried again up to `retries` more times. Each job owns its exchange, so the jobs of several ports
// run side by side.
//
// A command that follows another on the same port waits for the line to be quiet first, and what
// arrives meanwhile (a slow dialer's late reply to the previous command) is dropped: it never
// counts for the next exchange.
class PortJob : public QObject, private ExchangeHost {
    Q_OBJECT

public:
    PortJob(Target target, Plan plan, QObject *parent = nullptr);

    void start();
    // Stops the job: an exchange under way is cut, its port closed and its command logged as
    // interrupted; nothing further is sent. The result's message names the signal.
    void interrupt(const QString& signalName);
    [[nodiscard]] bool isStarted() const { return m_started; }
    [[nodiscard]] const PortResult& result() const { return m_result; }
    [[nodiscard]] bool isFinished() const { return m_finished; }

Q_SIGNALS:
    void status(const QString& text);
    void exchanged(const dialerctl::ExchangeRecord& record);
    void finished();

private:
    enum class Step { Read, Write, Verify };

    // ExchangeHost
    [[nodiscard]] QString portSelectorText() const override;
    [[nodiscard]] const DialerSettings& settings() const override { return m_record; }
    void showInfo(const QString& text) override { m_message = text; }

    void run(Step step);
    void chain(Step step);
    void onQuietTimeout();
    void onPortEvent();
    void advance();
    void afterRead(const DialerSettings& read);
    void onCommandSent();
    void finish(const QString& outcome, bool success);
    [[nodiscard]] bool waitForBusyPort();
    [[nodiscard]] QString failureReason(const QString& outcome) const;

    Plan m_plan;
    PortResult m_result;
    int m_portNumber = 1;    // COMn of the exchange's own map: the target's number, 1 for a path
    DialerSettings m_record; // what a save sends
    ExchangeController m_exchange{*this};
    Step m_step = Step::Read;
    int m_attempt = 1;
    std::optional<Verdict> m_verdict;
    bool m_portFailed = false;
    bool m_unsendable = false;
    QString m_message;
    bool m_finished = false;
    bool m_started = false;
    bool m_interrupted = false;
    bool m_pending = false;     // an exchange has ended and advance() has yet to take it
    QString m_lost;             // why the port was lost during the exchange, if it was
    bool m_answered = false;    // the last exchange got a whole answer
    QTimer m_quiet;             // the line has been quiet this long: the next command may go
    QElapsedTimer m_quietSince; // since the wait for a quiet line began
    Step m_next = Step::Read;   // the command that waits for the quiet line
    QElapsedTimer m_busySince;  // since a port held by another program was first met
    QTimer m_busyRetry;
    SerialPort::Error m_portError = SerialPort::Error::None;
};

// The outcome's name as dialerctl reports it: read, saved, no-answer, check-fields.
[[nodiscard]] QString outcomeName(Outcome outcome);

} // namespace dialerctl
