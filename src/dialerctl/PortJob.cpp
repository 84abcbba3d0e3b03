// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PortJob.h"

namespace dialerctl {

namespace {

bool holdsLineBreak(const DialerSettings& values) {
    for (int i = 0; i < DialerSettings::FieldCount; ++i) {
        if (values[i].contains(u'\r') || values[i].contains(u'\n'))
            return true;
    }
    return false;
}

// Silence that tells the line is quiet: a reply in progress never pauses this long at 115200
// baud. After an exchange that got no whole answer the dialer may still be answering, so the
// wait is a full collection window.
constexpr int QuietAfterAnswerMs = 100;
constexpr int QuietAfterSilenceMs = ExchangeController::CollectionMs;
// A line that never falls quiet (a flooding device) does not hold the job for ever.
constexpr qint64 MaxQuietWaitMs = 3000;

} // namespace

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
    connect(&port, &SerialPort::OnComm, this, &PortJob::onPortEvent);
    // The next step starts once the exchange is back to Idle, never from inside its handlers.
    connect(&m_exchange, &ExchangeController::exchangeEnded, this, [this] { m_pending = true; });
    connect(&m_exchange, &ExchangeController::exchangeEnded, this, &PortJob::advance,
            Qt::QueuedConnection);
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &PortJob::onQuietTimeout);
}

QString PortJob::portSelectorText() const {
    return PortMap::portName(m_portNumber);
}

void PortJob::start() {
    m_started = true;
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
    m_lost.clear();
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

void PortJob::chain(Step step) {
    if (m_interrupted)
        return;
    m_next = step;
    // A port that does not open now is reported by the exchange itself.
    if (!m_exchange.port().setPortOpen(true)) {
        run(step);
        return;
    }
    m_quietSince.start();
    m_quiet.start(m_answered ? QuietAfterAnswerMs : QuietAfterSilenceMs);
}

void PortJob::onPortEvent() {
    SerialPort& port = m_exchange.port();
    if (m_quiet.isActive()) {
        // Between exchanges: whatever arrives is dropped, and the quiet starts again.
        (void)port.Input();
        if (port.commEvent() != SerialPort::CommEvent::Lost &&
            m_quietSince.elapsed() < MaxQuietWaitMs)
            m_quiet.start();
        return;
    }
    if (port.commEvent() == SerialPort::CommEvent::Lost &&
        m_exchange.state() == ExchangeController::State::Collecting)
        m_lost = port.errorString();
}

void PortJob::onQuietTimeout() {
    (void)m_exchange.port().setPortOpen(false);
    run(m_next);
}

void PortJob::interrupt(const QString& signalName) {
    if (m_finished || m_interrupted)
        return;
    m_interrupted = true;
    m_quiet.stop();
    // An exchange that has just ended is recorded as it ended.
    advance();
    if (m_finished)
        return;
    const bool cut = m_exchange.state() != ExchangeController::State::Idle;
    m_exchange.abandon();
    (void)m_exchange.port().setPortOpen(false);
    if (cut)
        m_result.message = QStringLiteral("Прервано (%1) во время обмена: команда отправлена, "
                                          "ответ не принят.")
                               .arg(signalName);
    else if (m_started)
        m_result.message =
            QStringLiteral("Прервано (%1): следующая команда не отправлена.").arg(signalName);
    else
        m_result.message =
            QStringLiteral("Прервано (%1): в порт ничего не отправлено.").arg(signalName);
    if (cut) {
        // The command went out and its answer will never be judged: the record says so, with
        // what the command carried.
        ExchangeRecord record;
        record.at = QDateTime::currentDateTimeUtc();
        record.target = m_result.target;
        record.command = m_step == Step::Write ? QStringLiteral("write") : QStringLiteral("read");
        record.attempt = m_attempt;
        record.outcome = QStringLiteral("interrupted");
        if (m_step == Step::Write) {
            record.written = m_record;
            m_result.written = m_record;
        }
        Q_EMIT exchanged(record);
    }
    finish(QStringLiteral("interrupted"), false);
}

void PortJob::advance() {
    if (!m_pending)
        return;
    m_pending = false;
    ExchangeRecord record;
    record.at = QDateTime::currentDateTimeUtc();
    record.target = m_result.target;
    record.command = m_step == Step::Write ? QStringLiteral("write") : QStringLiteral("read");
    record.attempt = m_attempt;
    m_result.message = m_message;

    const bool answered =
        m_verdict && (m_verdict->outcome == Outcome::Read || m_verdict->outcome == Outcome::Saved);
    if (!m_lost.isEmpty() && !answered) {
        // Unplugged or gone mid-exchange: not a silent dialer.
        m_result.message =
            QStringLiteral("Порт %1: %2.").arg(m_exchange.port().portLabel(), m_lost);
        m_portFailed = true;
    }
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

    Verdict verdict = *m_verdict;
    m_answered = answered;
    if (m_step == Step::Write && verdict.outcome != Outcome::Saved &&
        verdict.outcome != Outcome::NoAnswer) {
        // A save is answered by the acknowledgement and nothing else; six values instead mean
        // the dialer did not take the command as a save.
        verdict = {Outcome::CheckFields, std::nullopt};
        m_result.message = outcomeMessage(Outcome::CheckFields);
        m_answered = false;
    }
    if (verdict.outcome == Outcome::Read && holdsLineBreak(*verdict.values)) {
        // A reading with a line break in a value is none: a line that echoes the command back,
        // or a reply run together with another. It is told, and retried, as a garbled one.
        verdict = {Outcome::CheckFields, std::nullopt};
        m_result.message = outcomeMessage(Outcome::CheckFields);
        m_answered = false;
    }
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
        chain(m_step);
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
            chain(Step::Write);
        }
        return;
    case Step::Write:
        if (verdict.outcome != Outcome::Saved)
            finish(record.outcome, false);
        else if (m_plan.verify)
            chain(Step::Verify);
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
    if (m_finished)
        return;
    m_result.outcome = outcome;
    m_result.success = success;
    m_finished = true;
    Q_EMIT status(outcome);
    Q_EMIT finished();
}

} // namespace dialerctl
