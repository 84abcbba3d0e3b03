// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PortJob.h"

#include "settings/SettingsStore.h"

#include <QFileInfo>

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
// How often a port another program holds is tried again under --wait-busy.
constexpr int BusyRetryMs = 200;

bool isOneOf(const QString& outcome, std::initializer_list<const char16_t *> names) {
    for (const char16_t *name : names) {
        if (outcome == QStringView(name))
            return true;
    }
    return false;
}

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
    // From the first exchange to the last the device stays this job's: nothing gets between a
    // read and the write that depends on it, or a write and its read back.
    port.setHeld(true);
    m_result.adapter = PortMap::adapterOf(m_result.target.device);
    // The window's probe leaves these line parameters in force; here nothing probes first.
    (void)port.setSettings(QStringLiteral("115200,N,8,1"));

    connect(&m_exchange, &ExchangeController::verdictReached, this,
            [this](const Verdict& verdict) { m_verdict = verdict; });
    connect(&m_exchange, &ExchangeController::refused, this,
            [this](ExchangeController::Refusal why) {
                m_portFailed = why == ExchangeController::Refusal::PortFailed;
                m_unsendable = why == ExchangeController::Refusal::Unsendable;
                if (m_portFailed)
                    m_portError = m_exchange.port().error();
                if (m_portError == SerialPort::Error::PartialWrite)
                    onCommandSent();
            });
    connect(&m_exchange, &ExchangeController::commandSent, this, &PortJob::onCommandSent);
    connect(&port, &SerialPort::OnComm, this, &PortJob::onPortEvent);
    // The next step starts once the exchange is back to Idle, never from inside its handlers.
    connect(&m_exchange, &ExchangeController::exchangeEnded, this, [this] { m_pending = true; });
    connect(&m_exchange, &ExchangeController::exchangeEnded, this, &PortJob::advance,
            Qt::QueuedConnection);
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &PortJob::onQuietTimeout);
    m_busyRetry.setSingleShot(true);
    connect(&m_busyRetry, &QTimer::timeout, this, [this] { run(m_step); });
}

QString PortJob::portSelectorText() const {
    return PortMap::portName(m_portNumber);
}

void PortJob::start() {
    m_started = true;
    if (m_plan.expectSerial && m_result.adapter.serialNumber != *m_plan.expectSerial) {
        const QString port = m_exchange.port().portLabel();
        m_result.message =
            m_result.adapter.serialNumber.isEmpty()
                ? QStringLiteral("Порт %1: серийный номер адаптера неизвестен, а ожидается %2; "
                                 "в порт ничего не отправлено.")
                      .arg(port, *m_plan.expectSerial)
                : QStringLiteral("Порт %1: серийный номер адаптера %2, а ожидается %3; в порт "
                                 "ничего не отправлено.")
                      .arg(port, m_result.adapter.serialNumber, *m_plan.expectSerial);
        m_result.reason = QStringLiteral("identity");
        finish(QStringLiteral("refused"), false);
        return;
    }
    const bool readFirst = m_plan.command != Command::Write || m_plan.source == ValueSource::Set;
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
    m_portError = SerialPort::Error::None;

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

// The save is on its way once the command went out, or part of it.
void PortJob::onCommandSent() {
    if (m_step != Step::Write)
        return;
    m_result.saveSent = true;
    m_result.written = m_record;
}

bool PortJob::waitForBusyPort() {
    if (m_portError != SerialPort::Error::Busy || m_plan.waitBusyMs <= 0 || m_interrupted)
        return false;
    if (!m_busySince.isValid())
        m_busySince.start();
    const qint64 left = m_plan.waitBusyMs - m_busySince.elapsed();
    if (left <= 0)
        return false;
    Q_EMIT status(QStringLiteral("waiting for the port"));
    m_busyRetry.start(int(std::min<qint64>(BusyRetryMs, left)));
    return true;
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
    m_busyRetry.stop();
    // An exchange that has just ended is recorded as it ended.
    advance();
    if (m_finished)
        return;
    // A command is out only once the opening has been taken up and the collection began.
    const ExchangeController::State state = m_exchange.state();
    const bool cut = state == ExchangeController::State::Collecting ||
                     state == ExchangeController::State::Reporting;
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
        // Another program's port is waited for, without a record for each try.
        if (m_lost.isEmpty() && waitForBusyPort())
            return;
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
            m_result.before = verdict.values;
            finish(record.outcome, true);
        } else {
            afterRead(*verdict.values);
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
            finish(m_plan.command == Command::Apply ? QStringLiteral("changed")
                                                    : QStringLiteral("verified"),
                   true);
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

// What the dialer holds decides: the wanted values are its own with the named fields changed
// (--set), or the six given. apply writes only where they differ.
void PortJob::afterRead(const DialerSettings& read) {
    m_result.before = read;
    DialerSettings wanted = m_plan.values;
    if (m_plan.source == ValueSource::Set) {
        wanted = read;
        for (const FieldChange& change : std::as_const(m_plan.changes))
            wanted[change.field] = change.value;
    }
    if (m_plan.command == Command::Apply) {
        if (wanted == read) {
            finish(QStringLiteral("unchanged"), true);
            return;
        }
        if (m_plan.check) {
            m_result.after = wanted;
            finish(QStringLiteral("would-change"), true);
            return;
        }
        if (!m_plan.backupFile.isEmpty()) {
            SettingsStore backup(m_plan.backupFile);
            backup.setCreatesFolder(true);
            const SettingsReport report = backup.Save(read);
            if (!report.ok()) {
                m_result.message =
                    QStringLiteral("Порт %1: значения не сохранены в копию, в порт ничего не "
                                   "записано. %2")
                        .arg(m_exchange.port().portLabel(), report.describe());
                m_result.reason = QStringLiteral("backup");
                finish(QStringLiteral("refused"), false);
                return;
            }
            m_result.backupFile = QFileInfo(m_plan.backupFile).absoluteFilePath();
        }
    }
    m_record = wanted;
    chain(Step::Write);
}

QString PortJob::failureReason(const QString& outcome) const {
    if (outcome != u"port-error")
        return outcome; // no-answer, check-fields, mismatch, interrupted
    if (!m_lost.isEmpty())
        return QStringLiteral("lost");
    switch (m_portError) {
    case SerialPort::Error::Busy:
        return QStringLiteral("busy");
    case SerialPort::Error::PermissionDenied:
        return QStringLiteral("denied");
    case SerialPort::Error::NoSuchPort:
        return QStringLiteral("missing");
    case SerialPort::Error::Timeout:
        return QStringLiteral("timeout");
    case SerialPort::Error::PartialWrite:
        return QStringLiteral("partial");
    default:
        return QStringLiteral("io");
    }
}

void PortJob::finish(const QString& outcome, bool success) {
    if (m_finished)
        return;
    m_busyRetry.stop();
    m_exchange.port().setHeld(false);
    m_result.outcome = outcome;
    m_result.success = success;
    if (!success && m_result.reason.isEmpty())
        m_result.reason = failureReason(outcome);
    if (!m_result.after) {
        if (isOneOf(outcome, {u"verified", u"changed", u"mismatch"}))
            m_result.after = m_result.valuesRead; // the read back
        else if (outcome == u"saved")
            m_result.after = m_result.written; // as the dialer acknowledged it
        else if (!m_result.saveSent)
            m_result.after = m_result.before; // nothing went out: as it was
    }
    const bool taken = isOneOf(outcome, {u"saved", u"verified", u"changed", u"mismatch"});
    m_result.changed =
        taken && (!m_result.before || !m_result.after || *m_result.before != *m_result.after);
    m_finished = true;
    Q_EMIT status(outcome);
    Q_EMIT finished();
}

} // namespace dialerctl
