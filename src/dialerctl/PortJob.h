// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "CommandLine.h"
#include "Targets.h"
#include "device/ExchangeController.h"

#include <QDateTime>
#include <QObject>

#include <optional>

namespace dialerctl {

// What to do on every selected port.
struct Plan {
    Command command = Command::Read; // Read or Write
    ValueSource source = ValueSource::None;
    DialerSettings values;      // the six values to write (--values, --from)
    QList<FieldChange> changes; // --set: read first, change these, write
    bool verify = false;
    int retries = 0;
};

// How one port ended.
struct PortResult {
    Target target;
    QString outcome; // read, saved, verified, no-answer, check-fields, mismatch, port-error
    QString message; // the window's text for the verdict, or why the port failed
    std::optional<DialerSettings> valuesRead; // the six values a read returned, if one did
    std::optional<DialerSettings> written;    // the six values a save command carried
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
class PortJob : public QObject, private ExchangeHost {
    Q_OBJECT

public:
    PortJob(Target target, Plan plan, QObject *parent = nullptr);

    void start();
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
    void advance();
    void finish(const QString& outcome, bool success);

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
};

// The outcome's name as dialerctl reports it: read, saved, no-answer, check-fields.
[[nodiscard]] QString outcomeName(Outcome outcome);

} // namespace dialerctl
