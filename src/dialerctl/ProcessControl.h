// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QObject>
#include <QString>

#include <atomic>

namespace dialerctl {

class Interruptions;

// What the system's handler of interruptions shares with the run.
namespace interruption {

// The first request's exit status; written by the handler, read by the main thread.
inline std::atomic<int> g_status{0};
inline Interruptions *g_instance = nullptr;

} // namespace interruption

// The requests to stop that a run must survive: SIGINT (Ctrl-C), SIGTERM and SIGHUP (a dropped
// session); on Windows the console's Ctrl-C, Ctrl-Break and close events. While an object of this
// class lives they no longer end the process: each arrives as interrupted() on the main thread,
// the first one only, so that the run can close its ports and finish its record.
class Interruptions : public QObject {
    Q_OBJECT

public:
    explicit Interruptions(QObject *parent = nullptr);
    ~Interruptions() override;
    Interruptions(const Interruptions&) = delete;
    Interruptions& operator=(const Interruptions&) = delete;

    // True once a request has arrived, even before interrupted() has been delivered.
    [[nodiscard]] bool arrived() const { return interruption::g_status.load() != 0; }
    // What the process exits with: 128 plus the signal's number (130, 143, 129); 0 before.
    [[nodiscard]] int exitStatus() const { return interruption::g_status.load(); }
    // "SIGTERM", "Ctrl-C" ...
    [[nodiscard]] QString name() const;

Q_SIGNALS:
    void interrupted();

private:
    Q_INVOKABLE void deliver() { Q_EMIT interrupted(); }
};

// A closed or full output is told in words, with exit status 1, like any other output that
// cannot be written: a write to a pipe nobody reads any more fails instead of ending the program
// silently (SIGPIPE).
void reportClosedOutput();

// Raises the soft limit of open files to the hard limit, and answers how many ports a run may
// hold open at once within it (each takes the line and its lock), or 0 when nothing limits it.
[[nodiscard]] int portsAtOnce();

} // namespace dialerctl
