// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PortJob.h"

#include "settings/SettingsStore.h"

#include <QFileInfo>

namespace dialerctl {

namespace {

// A line that never falls quiet (a flooding device) does not hold the job for ever.
constexpr int MaxQuietWaitMs = 3000;
// How often a port another program holds is tried again under --wait-busy.
constexpr int BusyRetryMs = 200;

// "COM3 (/dev/ttyUSB0)": the port as the user named it and the device behind it.
QString labelOf(const Target& target) {
    if (target.number == 0 || target.device.isEmpty() || target.device == target.port)
        return target.port;
    return QStringLiteral("%1 (%2)").arg(target.port, target.device);
}

} // namespace

PortJob::PortJob(const Target& target, PortPlan plan, QObject *parent)
    : QObject(parent)
    , m_exchange(Exchange::Judging::AsAnswer)
    , m_steps(target, std::move(plan), PortMap::adapterOf(target.device), labelOf(target)) {
    SerialPort& port = m_exchange.port();
    port.nameDevice(target.device);
    port.setPortLabel(labelOf(target));
    // From the first exchange to the last the device stays this job's: nothing gets between a
    // read and the write that depends on it, or a write and its read back.
    m_exchange.holdPort(true);

    connect(&m_exchange, &Exchange::judged, this, &PortJob::onJudged);
    connect(&m_exchange, &Exchange::refused, this, &PortJob::onRefused);
    connect(&m_exchange, &Exchange::commandSent, this, [this] { m_steps.commandSent(); });
    connect(&m_exchange, &Exchange::lineQuiet, this, [this] { run(m_current); });
    // The next step is taken once the exchange is back to Idle, never from inside its handlers.
    connect(&m_exchange, &Exchange::ended, this, [this] { m_pending = true; });
    connect(&m_exchange, &Exchange::ended, this, &PortJob::onEnded, Qt::QueuedConnection);
    m_busyRetry.setSingleShot(true);
    connect(&m_busyRetry, &QTimer::timeout, this, [this] { run(m_current); });
}

void PortJob::start() {
    perform(m_steps.start());
}

void PortJob::perform(const JobSteps::Action& action) {
    if (m_interrupted && action.kind != JobSteps::Action::Kind::Finish)
        return;
    switch (action.kind) {
    case JobSteps::Action::Kind::Exchange:
        m_current = action;
        if (action.quietMs > 0)
            m_exchange.waitForQuietLine(action.quietMs, MaxQuietWaitMs);
        else
            run(action);
        return;
    case JobSteps::Action::Kind::Backup:
        keepBackup(action.record);
        return;
    case JobSteps::Action::Kind::Finish:
        finishJob();
        return;
    }
}

void PortJob::run(const JobSteps::Action& action) {
    QString doing = action.step == Step::Read    ? QStringLiteral("reading")
                    : action.step == Step::Write ? QStringLiteral("writing")
                                                 : QStringLiteral("verifying");
    if (m_steps.attempt() > 1)
        doing += QStringLiteral(" (attempt %1)").arg(m_steps.attempt());
    Q_EMIT status(doing);
    m_ending = {};
    (void)m_exchange.start(action.step == Step::Write ? Exchange::Command::Save
                                                      : Exchange::Command::Read,
                           action.record);
}

void PortJob::onJudged(const Verdict& verdict) {
    m_ending.verdict = verdict;
    m_ending.message = outcomeMessage(verdict.outcome);
    m_exchange.finish();
}

void PortJob::onRefused(Exchange::Refusal why, const QString& message) {
    m_ending.message = message;
    m_ending.unsendable = why == Exchange::Refusal::Unsendable;
    if (why == Exchange::Refusal::PortFailed)
        m_ending.portError = m_exchange.port().error();
    // Part of the command may have reached the dialer.
    if (m_ending.portError == SerialPort::Error::PartialWrite)
        m_steps.commandSent();
}

void PortJob::onEnded() {
    if (!m_pending)
        return;
    m_pending = false;
    JobSteps::Ending ending = std::exchange(m_ending, {});
    ending.lost = m_exchange.lost();
    // Another program's port is waited for, without a record for each try.
    if (waitForBusyPort(ending))
        return;
    auto [record, next] = m_steps.ended(ending);
    log(std::move(record));
    perform(next);
}

bool PortJob::waitForBusyPort(const JobSteps::Ending& ending) {
    const int waitMs = m_steps.plan().waitBusyMs;
    if (ending.portError != SerialPort::Error::Busy || !ending.lost.isEmpty() || waitMs <= 0 ||
        m_interrupted)
        return false;
    if (!m_busySince.isValid())
        m_busySince.start();
    const qint64 left = waitMs - m_busySince.elapsed();
    if (left <= 0)
        return false;
    Q_EMIT status(QStringLiteral("waiting for the port"));
    m_busyRetry.start(int(std::min<qint64>(BusyRetryMs, left)));
    return true;
}

void PortJob::keepBackup(const DialerSettings& values) {
    const QString file = m_steps.plan().backupFile;
    SettingsStore backup(file);
    backup.setCreatesFolder(true);
    const SettingsReport report = backup.Save(values);
    perform(
        m_steps.backupKept(QFileInfo(file).absoluteFilePath(),
                           report.ok() ? std::nullopt : std::optional<QString>(report.describe())));
}

void PortJob::interrupt(const QString& signalName) {
    if (m_done || m_interrupted)
        return;
    m_interrupted = true;
    m_busyRetry.stop();
    // An exchange that has just ended is recorded as it ended.
    onEnded();
    if (m_done)
        return;
    // A command is out only once the opening has been taken up and the collection began.
    const Exchange::State state = m_exchange.state();
    const JobSteps::Interrupted where =
        state == Exchange::State::Collecting || state == Exchange::State::Reporting
            ? JobSteps::Interrupted::DuringAnswer
        : m_steps.isStarted() ? JobSteps::Interrupted::Between
                              : JobSteps::Interrupted::BeforeStart;
    m_exchange.abandon();
    if (std::optional<ExchangeRecord> cut = m_steps.interrupt(signalName, where))
        log(std::move(*cut));
    finishJob();
}

void PortJob::log(ExchangeRecord record) {
    record.at = QDateTime::currentDateTimeUtc();
    Q_EMIT exchanged(record);
}

void PortJob::finishJob() {
    if (m_done)
        return;
    m_done = true;
    m_busyRetry.stop();
    m_exchange.holdPort(false);
    Q_EMIT status(name(m_steps.result().outcome));
    Q_EMIT finished();
}

} // namespace dialerctl
