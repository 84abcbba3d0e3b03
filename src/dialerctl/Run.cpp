// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Run.h"

#include "Console.h"
#include "PortJob.h"
#include "text/SystemText.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>

#include <memory>
#include <vector>

namespace dialerctl {

namespace {

// Keeps the log: one line per exchange, naming the adapter's serial number; the first line that
// cannot be written is told, once.
class LogWriter {
public:
    LogWriter(ExchangeLog& log, const QList<Target>& targets)
        : m_log(log) {
        for (const Target& target : targets)
            m_serialNumbers.insert(target.port, PortMap::adapterOf(target.device).serialNumber);
    }

    void write(const ExchangeRecord& record) {
        if (m_log.append(record, m_serialNumbers.value(record.target.port)))
            return;
        if (!m_failed)
            writeOut(stderr, QStringLiteral("dialerctl: --log %1: a line could not be written: "
                                            "%2.\n")
                                 .arg(QDir::toNativeSeparators(m_log.fileName()),
                                      SystemText::withoutFullStop(m_log.errorString()))
                                 .toUtf8());
        m_failed = true;
    }
    [[nodiscard]] bool failed() const { return m_failed; }

private:
    ExchangeLog& m_log;
    QHash<QString, QString> m_serialNumbers;
    bool m_failed = false;
};

} // namespace

RunResults runPlan(Plan& plan, const Interruptions& interruptions) {
    const int portLimit = portsAtOnce();
    std::optional<LogWriter> log;
    if (plan.log)
        log.emplace(*plan.log, plan.targets);
    StatusLines lines(stderr, plan.targets);
    std::vector<std::unique_ptr<PortJob>> jobs;
    qsizetype running = 0;
    std::size_t next = 0;
    // Each job opens its port and writes its command straight away; as many run side by side as
    // the process may hold ports open, and each one that ends makes room for the next.
    const auto startMore = [&] {
        const auto limit = portLimit > 0 ? qsizetype{portLimit} : plan.targets.size();
        while (next < jobs.size() && running < limit && !interruptions.arrived()) {
            ++running;
            jobs[next++]->start();
        }
        if (running == 0)
            QCoreApplication::quit();
    };
    for (qsizetype i = 0; i < plan.targets.size(); ++i) {
        auto job = std::make_unique<PortJob>(plan.targets[i], plan.job);
        QObject::connect(job.get(), &PortJob::status,
                         [&lines, i](const QString& status) { lines.update(i, status); });
        if (log)
            QObject::connect(job.get(), &PortJob::exchanged,
                             [&log](const ExchangeRecord& record) { log->write(record); });
        QObject::connect(job.get(), &PortJob::finished, job.get(),
                         [&running, &startMore, job = job.get()] {
                             if (job->isStarted())
                                 --running;
                             startMore();
                         });
        jobs.push_back(std::move(job));
    }
    const auto interruptAll = [&jobs, &interruptions] {
        for (const auto& job : jobs)
            job->interrupt(interruptions.name());
    };
    QObject::connect(&interruptions, &Interruptions::interrupted, [&] {
        interruptAll();
        QCoreApplication::quit();
    });
    startMore();
    if (running > 0)
        QCoreApplication::exec();
    // A request that came before the loop ran, or while it was ending.
    if (interruptions.arrived())
        interruptAll();

    RunResults results;
    bool allSucceeded = !(log && log->failed());
    for (const auto& job : jobs) {
        results.ports << job->result();
        allSucceeded = allSucceeded && job->result().success;
    }
    results.status = interruptions.arrived() ? interruptions.exitStatus()
                     : allSucceeded          ? ExitStatus::Success
                                             : ExitStatus::PortFailed;
    return results;
}

} // namespace dialerctl
