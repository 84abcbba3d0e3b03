// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PortJob.h"

namespace dialerctl {

QString outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::NoAnswer:
        return QStringLiteral("no-answer");
    case Outcome::Saved:
        return QStringLiteral("saved");
    case Outcome::Read:
        return QStringLiteral("read");
    case Outcome::CheckFields:
        return QStringLiteral("check-fields");
    }
    return {};
}

PortJob::PortJob(Target target, Plan plan, QObject *parent)
    : QObject(parent)
    , m_plan(std::move(plan))
    , m_record(m_plan.values) {
    m_result.target = std::move(target);
    if (m_result.target.number > 0)
        m_portNumber = m_result.target.number;
    SerialPort& port = m_exchange.port();
    PortMap map;
    if (!m_result.target.device.isEmpty())
        map.setDevice(m_portNumber, {m_result.target.device, {}});
    port.setPortMap(map);
    if (m_result.target.number == 0)
        port.setPortLabel(m_result.target.port);
    // The window's probe leaves these line parameters in force; here nothing probes first.
    (void)port.setSettings(QStringLiteral("115200,N,8,1"));

    connect(&m_exchange, &ExchangeController::verdictReached, this,
            [this](const Verdict& verdict) { m_verdict = verdict; });
    connect(&m_exchange, &ExchangeController::refused, this,
            [this](ExchangeController::Refusal why) {
                m_portFailed = why == ExchangeController::Refusal::PortFailed;
                m_unsendable = why == ExchangeController::Refusal::Unsendable;
            });
    // The next step starts once the exchange is back to Idle, never from inside its handlers.
    connect(&m_exchange, &ExchangeController::exchangeEnded, this, &PortJob::advance,
            Qt::QueuedConnection);
}

QString PortJob::portSelectorText() const {
    return PortMap::portName(m_portNumber);
}

void PortJob::start() {
    const bool readFirst = m_plan.command == Command::Read || m_plan.source == ValueSource::Set;
    run(readFirst ? Step::Read : Step::Write);
}

void PortJob::run(Step step) {
    if (step != m_step)
        m_attempt = 1;
    m_step = step;
    m_verdict.reset();
    m_portFailed = false;
    m_unsendable = false;
    m_message.clear();

    QString doing = step == Step::Read    ? QStringLiteral("reading")
                    : step == Step::Write ? QStringLiteral("writing")
                                          : QStringLiteral("verifying");
    if (m_attempt > 1)
        doing += QStringLiteral(" (attempt %1)").arg(m_attempt);
    Q_EMIT status(doing);
    if (step == Step::Write)
        m_exchange.SaveCMD_Click();
    else
        m_exchange.ReadCMD_Click();
}

void PortJob::advance() {
    ExchangeRecord record;
    record.at = QDateTime::currentDateTimeUtc();
    record.target = m_result.target;
    record.command = m_step == Step::Write ? QStringLiteral("write") : QStringLiteral("read");
    record.attempt = m_attempt;
    m_result.message = m_message;

    if (m_portFailed) {
        record.outcome = QStringLiteral("port-error");
        Q_EMIT exchanged(record);
        finish(record.outcome, false);
        return;
    }
    if (m_unsendable || !m_verdict) {
        // Values read from a dialer that the line cannot carry back (a CR or LF in a value).
        record.outcome = outcomeName(Outcome::CheckFields);
        Q_EMIT exchanged(record);
        finish(record.outcome, false);
        return;
    }

    const Verdict verdict = *m_verdict;
    record.outcome = outcomeName(verdict.outcome);
    record.valuesRead = verdict.values;
    if (m_step == Step::Write)
        record.written = m_record;
    Q_EMIT exchanged(record);

    if (m_step == Step::Write)
        m_result.written = m_record;
    if (verdict.values)
        m_result.valuesRead = verdict.values;

    const bool retry =
        verdict.outcome == Outcome::NoAnswer || verdict.outcome == Outcome::CheckFields;
    if (retry && m_attempt <= m_plan.retries) {
        ++m_attempt;
        run(m_step);
        return;
    }

    switch (m_step) {
    case Step::Read:
        if (verdict.outcome != Outcome::Read) {
            finish(record.outcome, false);
        } else if (m_plan.command == Command::Read) {
            finish(record.outcome, true);
        } else {
            // --set: the dialer's own values with the named fields changed.
            m_record = *verdict.values;
            for (const FieldChange& change : std::as_const(m_plan.changes))
                m_record[change.field] = change.value;
            run(Step::Write);
        }
        return;
    case Step::Write:
        if (verdict.outcome != Outcome::Saved)
            finish(record.outcome, false);
        else if (m_plan.verify)
            run(Step::Verify);
        else
            finish(record.outcome, true);
        return;
    case Step::Verify:
        if (verdict.outcome != Outcome::Read) {
            finish(record.outcome, false);
        } else if (*verdict.values == m_record) {
            finish(QStringLiteral("verified"), true);
        } else {
            QStringList differing;
            for (int i = 0; i < DialerSettings::FieldCount; ++i) {
                if ((*verdict.values)[i] != m_record[i])
                    differing << QString::number(i + 1);
            }
            m_result.message = QStringLiteral("Считанные значения не совпадают с записанными: "
                                              "поля %1.")
                                   .arg(differing.join(QStringLiteral(", ")));
            finish(QStringLiteral("mismatch"), false);
        }
        return;
    }
}

void PortJob::finish(const QString& outcome, bool success) {
    m_result.outcome = outcome;
    m_result.success = success;
    m_finished = true;
    Q_EMIT status(outcome);
    Q_EMIT finished();
}

} // namespace dialerctl
