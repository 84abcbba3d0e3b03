// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "CommandLine.h"
#include "Results.h"
#include "device/SerialPort.h"

#include <QString>

#include <optional>

namespace dialerctl {

// What to do on every selected port.
struct PortPlan {
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

// The decisions of one port's job, with no port, timer or event loop: given the plan and how each
// exchange ended, what comes next. A read; or a write (after a read, for --set and apply), then a
// read to verify; apply writes only where the dialer's values differ from the wanted ones, and
// backs them up first when asked. An exchange without an answer, or with a reply not understood,
// is tried again up to `retries` more times. The result says what went out and what the dialer
// holds (changed, after), whatever stopped the job.
class JobSteps {
public:
    // What the job does next.
    struct Action {
        enum class Kind { Exchange, Backup, Finish };
        Kind kind = Kind::Finish;
        Step step = Step::Read;
        // A command that follows another on the same port waits for the line to be quiet this
        // long first; 0: at once.
        int quietMs = 0;
        DialerSettings record; // what a write sends; for a backup, the values to keep
    };

    // How an exchange ended.
    struct Ending {
        std::optional<Verdict> verdict; // the judgement, where the collection ran
        bool unsendable = false;        // the record holds a value the line cannot carry
        SerialPort::Error portError = SerialPort::Error::None; // the port refused the exchange
        QString lost;    // why the port was lost during the collection
        QString message; // the window's text for the verdict or the refusal
    };

    // Where an interruption found the job.
    enum class Interrupted {
        BeforeStart,  // nothing was ever sent
        Between,      // the next command had not gone out
        DuringAnswer, // a command was out and its answer not judged
    };

    // Silence that tells the line is quiet: a reply in progress never pauses this long at 115200
    // baud. After an exchange that got no whole answer the dialer may still be answering, so the
    // wait is a full collection window.
    static constexpr int QuietAfterAnswerMs = 100;
    static constexpr int QuietAfterSilenceMs = 500;

    JobSteps(Target target, PortPlan plan, PortMap::Adapter adapter, QString portLabel);

    [[nodiscard]] Action start();
    // A save command went out, or part of it: the dialer may hold it.
    void commandSent();
    // The exchange's record for the log, and what comes next.
    [[nodiscard]] std::pair<ExchangeRecord, Action> ended(const Ending& ending);
    // How the backup of the values before a change went: the file, made absolute, or why not.
    [[nodiscard]] Action backupKept(const QString& file, const std::optional<QString>& failure);
    // Ends the job; a command cut during its answer is recorded as it went out.
    [[nodiscard]] std::optional<ExchangeRecord> interrupt(const QString& signalName,
                                                          Interrupted where);

    [[nodiscard]] const PortResult& result() const { return m_result; }
    [[nodiscard]] bool isFinished() const { return m_finished; }
    [[nodiscard]] bool isStarted() const { return m_started; }
    [[nodiscard]] const PortPlan& plan() const { return m_plan; }
    [[nodiscard]] int attempt() const { return m_attempt; }

private:
    [[nodiscard]] Action exchange(Step step, int quietMs = 0);
    [[nodiscard]] Action afterRead(const DialerSettings& read);
    [[nodiscard]] Action afterVerdict(const Verdict& verdict, PortOutcome outcome);
    [[nodiscard]] Action finish(PortOutcome outcome, bool success);
    [[nodiscard]] ExchangeRecord record() const;
    [[nodiscard]] Reason failureReason(PortOutcome outcome) const;

    PortPlan m_plan;
    PortResult m_result;
    QString m_label;
    DialerSettings m_record; // what a save sends
    Step m_step = Step::Read;
    int m_attempt = 1;
    bool m_answered = false;   // the last exchange got a whole answer
    bool m_commandOut = false; // the command of the exchange under way went out, or part of it
    bool m_lost = false;
    SerialPort::Error m_portError = SerialPort::Error::None;
    bool m_started = false;
    bool m_finished = false;
};

} // namespace dialerctl
