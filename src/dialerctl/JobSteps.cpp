// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "JobSteps.h"

namespace dialerctl {

namespace {

// The dialer took a save: as acknowledged, or as read back.
bool taken(PortOutcome outcome) {
    return outcome == PortOutcome::Saved || outcome == PortOutcome::Verified ||
           outcome == PortOutcome::Changed || outcome == PortOutcome::Mismatch;
}

} // namespace

JobSteps::JobSteps(Target target, PortPlan plan, PortMap::Adapter adapter, QString portLabel)
    : m_plan(std::move(plan))
    , m_label(std::move(portLabel))
    , m_record(m_plan.values) {
    m_result.target = std::move(target);
    m_result.adapter = std::move(adapter);
}

JobSteps::Action JobSteps::start() {
    m_started = true;
    const QString& serial = m_result.adapter.serialNumber;
    if (m_plan.expectSerial && serial != *m_plan.expectSerial) {
        m_result.message =
            serial.isEmpty()
                ? QStringLiteral("Порт %1: серийный номер адаптера неизвестен, а ожидается %2; "
                                 "в порт ничего не отправлено.")
                      .arg(m_label, *m_plan.expectSerial)
                : QStringLiteral("Порт %1: серийный номер адаптера %2, а ожидается %3; в порт "
                                 "ничего не отправлено.")
                      .arg(m_label, serial, *m_plan.expectSerial);
        m_result.reason = Reason::Identity;
        return finish(PortOutcome::Refused, false);
    }
    const bool readFirst = m_plan.command != Command::Write || m_plan.source == ValueSource::Set;
    return exchange(readFirst ? Step::Read : Step::Write);
}

JobSteps::Action JobSteps::exchange(Step step, int quietMs) {
    if (step != m_step)
        m_attempt = 1;
    m_step = step;
    m_commandOut = false;
    return {Action::Kind::Exchange, step, quietMs, m_record};
}

void JobSteps::commandSent() {
    m_commandOut = true;
    if (m_step != Step::Write)
        return;
    m_result.saveSent = true;
    m_result.written = m_record;
}

ExchangeRecord JobSteps::record() const {
    ExchangeRecord record;
    record.target = m_result.target;
    record.step = m_step;
    record.attempt = m_attempt;
    return record;
}

std::pair<ExchangeRecord, JobSteps::Action> JobSteps::ended(const Ending& ending) {
    ExchangeRecord logged = record();
    m_result.message = ending.message;
    m_portError = ending.portError;
    const bool answered = ending.verdict && (ending.verdict->outcome == Outcome::Read ||
                                             ending.verdict->outcome == Outcome::Saved);
    bool portFailed = ending.portError != SerialPort::Error::None;
    if (!ending.lost.isEmpty() && !answered) {
        // Unplugged or gone mid-exchange: not a silent dialer.
        m_result.message = QStringLiteral("Порт %1: %2.").arg(m_label, ending.lost);
        m_lost = true;
        portFailed = true;
    }
    if (portFailed) {
        logged.outcome = PortOutcome::PortError;
        // A save that went out, whole or in part, before the port failed: the dialer may hold it.
        if (m_step == Step::Write && m_commandOut)
            logged.written = m_record;
        return {logged, finish(logged.outcome, false)};
    }
    if (ending.unsendable || !ending.verdict) {
        // Values read from a dialer that the line cannot carry back (a CR or LF in a value).
        logged.outcome = PortOutcome::CheckFields;
        return {logged, finish(logged.outcome, false)};
    }

    // The verdict comes judged as the answer to the command that went out (judgeAnswer).
    const Verdict& verdict = *ending.verdict;
    m_answered = answered;
    logged.outcome = outcomeOf(verdict.outcome);
    logged.valuesRead = verdict.values;
    if (m_step == Step::Write) {
        logged.written = m_record;
        m_result.written = m_record;
    }
    if (verdict.values)
        m_result.valuesRead = verdict.values;
    return {logged, afterVerdict(verdict, logged.outcome)};
}

JobSteps::Action JobSteps::afterVerdict(const Verdict& verdict, PortOutcome outcome) {
    const bool retry =
        verdict.outcome == Outcome::NoAnswer || verdict.outcome == Outcome::CheckFields;
    if (retry && m_attempt <= m_plan.retries) {
        ++m_attempt;
        return exchange(m_step, m_answered ? QuietAfterAnswerMs : QuietAfterSilenceMs);
    }
    const int quiet = m_answered ? QuietAfterAnswerMs : QuietAfterSilenceMs;
    switch (m_step) {
    case Step::Read:
        if (verdict.outcome != Outcome::Read)
            return finish(outcome, false);
        if (m_plan.command == Command::Read) {
            m_result.before = verdict.values;
            return finish(outcome, true);
        }
        return afterRead(*verdict.values);
    case Step::Write:
        if (verdict.outcome != Outcome::Saved)
            return finish(outcome, false);
        if (m_plan.verify)
            return exchange(Step::Verify, quiet);
        return finish(outcome, true);
    case Step::Verify:
        break;
    }
    if (verdict.outcome != Outcome::Read)
        return finish(outcome, false);
    if (*verdict.values == m_record)
        return finish(
            m_plan.command == Command::Apply ? PortOutcome::Changed : PortOutcome::Verified, true);
    QStringList differing;
    for (int i = 0; i < DialerSettings::FieldCount; ++i) {
        if ((*verdict.values)[i] != m_record[i])
            differing << QString::number(i + 1);
    }
    m_result.message = QStringLiteral("Считанные значения не совпадают с записанными: поля %1.")
                           .arg(differing.join(QStringLiteral(", ")));
    return finish(PortOutcome::Mismatch, false);
}

// What the dialer holds decides: the wanted values are its own with the named fields changed
// (--set), or the six given. apply writes only where they differ, and keeps the old ones first
// when asked.
JobSteps::Action JobSteps::afterRead(const DialerSettings& read) {
    m_result.before = read;
    DialerSettings wanted = m_plan.values;
    if (m_plan.source == ValueSource::Set) {
        wanted = read;
        for (const FieldChange& change : std::as_const(m_plan.changes))
            wanted[change.field] = change.value;
    }
    m_record = wanted;
    if (m_plan.command == Command::Apply) {
        if (wanted == read)
            return finish(PortOutcome::Unchanged, true);
        if (m_plan.check) {
            m_result.after = wanted;
            return finish(PortOutcome::WouldChange, true);
        }
        if (!m_plan.backupFile.isEmpty())
            return {Action::Kind::Backup, m_step, 0, read};
    }
    return exchange(Step::Write, QuietAfterAnswerMs);
}

JobSteps::Action JobSteps::backupKept(const QString& file, const std::optional<QString>& failure) {
    if (failure) {
        m_result.message = QStringLiteral("Порт %1: значения не сохранены в копию, в порт ничего "
                                          "не записано. %2")
                               .arg(m_label, *failure);
        m_result.reason = Reason::Backup;
        return finish(PortOutcome::Refused, false);
    }
    m_result.backupFile = file;
    return exchange(Step::Write, QuietAfterAnswerMs);
}

std::optional<ExchangeRecord> JobSteps::interrupt(const QString& signalName, Interrupted where) {
    if (m_finished)
        return std::nullopt;
    std::optional<ExchangeRecord> cut;
    switch (where) {
    case Interrupted::DuringAnswer:
        m_result.message = QStringLiteral("Прервано (%1) во время обмена: команда отправлена, "
                                          "ответ не принят.")
                               .arg(signalName);
        // The command went out and its answer will never be judged: the record says so, with
        // what the command carried.
        cut = record();
        cut->outcome = PortOutcome::Interrupted;
        if (m_step == Step::Write) {
            cut->written = m_record;
            m_result.written = m_record;
        }
        break;
    case Interrupted::Between:
        m_result.message =
            QStringLiteral("Прервано (%1): следующая команда не отправлена.").arg(signalName);
        break;
    case Interrupted::BeforeStart:
        m_result.message =
            QStringLiteral("Прервано (%1): в порт ничего не отправлено.").arg(signalName);
        break;
    }
    (void)finish(PortOutcome::Interrupted, false);
    return cut;
}

Reason JobSteps::failureReason(PortOutcome outcome) const {
    switch (outcome) {
    case PortOutcome::NoAnswer:
        return Reason::NoAnswer;
    case PortOutcome::CheckFields:
        return Reason::CheckFields;
    case PortOutcome::Mismatch:
        return Reason::Mismatch;
    case PortOutcome::Interrupted:
        return Reason::Interrupted;
    default:
        break;
    }
    if (m_lost)
        return Reason::Lost;
    switch (m_portError) {
    case SerialPort::Error::Busy:
        return Reason::Busy;
    case SerialPort::Error::PermissionDenied:
        return Reason::Denied;
    case SerialPort::Error::NoSuchPort:
        return Reason::Missing;
    case SerialPort::Error::Timeout:
        return Reason::Timeout;
    case SerialPort::Error::PartialWrite:
        return Reason::Partial;
    default:
        return Reason::Io;
    }
}

JobSteps::Action JobSteps::finish(PortOutcome outcome, bool success) {
    m_result.outcome = outcome;
    m_result.success = success;
    if (!success && m_result.reason == Reason::None)
        m_result.reason = failureReason(outcome);
    if (!m_result.after) {
        if (outcome == PortOutcome::Verified || outcome == PortOutcome::Changed ||
            outcome == PortOutcome::Mismatch)
            m_result.after = m_result.valuesRead; // the read back
        else if (outcome == PortOutcome::Saved)
            m_result.after = m_result.written; // as the dialer acknowledged it
        else if (!m_result.saveSent)
            m_result.after = m_result.before; // nothing went out: as it was
    }
    m_result.changed = m_result.saveSent && taken(outcome) &&
                       (!m_result.before || !m_result.after || *m_result.before != *m_result.after);
    m_finished = true;
    return {};
}

} // namespace dialerctl
