// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "JobSteps.h"
#include "device/Exchange.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace dialerctl {

// One port's job in the event loop: runs the exchanges its steps (JobSteps) decide, one after
// another, each through an exchange of its own, so the jobs of several ports run side by side.
// The device stays the job's from its first exchange to its last. A command that follows another
// waits for the line to be quiet first, and what arrives meanwhile (a slow dialer's late reply)
// never counts for the next exchange. A port another program holds is tried again, without a
// record for each try, for as long as the plan waits for busy ports.
class PortJob : public QObject {
    Q_OBJECT

public:
    PortJob(const Target& target, PortPlan plan, QObject *parent = nullptr);

    void start();
    // Stops the job: an exchange under way is cut, its port closed and its command logged as
    // interrupted; nothing further is sent. The result's message names the signal.
    void interrupt(const QString& signalName);
    [[nodiscard]] bool isStarted() const { return m_steps.isStarted(); }
    [[nodiscard]] bool isFinished() const { return m_done; }
    [[nodiscard]] const PortResult& result() const { return m_steps.result(); }

Q_SIGNALS:
    void status(const QString& text);
    void exchanged(const dialerctl::ExchangeRecord& record);
    void finished();

private:
    void perform(const JobSteps::Action& action);
    void run(const JobSteps::Action& action);
    void onJudged(const Verdict& verdict);
    void onRefused(Exchange::Refusal why, const QString& message);
    void onEnded();
    void keepBackup(const DialerSettings& values);
    [[nodiscard]] bool waitForBusyPort(const JobSteps::Ending& ending);
    void log(ExchangeRecord record);
    void finishJob();

    Exchange m_exchange;
    JobSteps m_steps;
    JobSteps::Action m_current; // the exchange under way, or waiting for a quiet line or a port
    JobSteps::Ending m_ending;  // how the exchange under way is ending
    bool m_pending = false;     // an exchange has ended and its steps are still to be taken
    bool m_interrupted = false;
    bool m_done = false;
    QElapsedTimer m_busySince; // since a port held by another program was first met
    QTimer m_busyRetry;
};

} // namespace dialerctl
