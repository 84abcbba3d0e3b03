// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "ProcessControl.h"

#include <QDir>
#include <QMetaObject>
#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace dialerctl {

using interruption::g_instance;
using interruption::g_status;

namespace {

int g_pipe[2] = {-1, -1};
constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(Handled)];

void onSignal(int signal) {
    int expected = 0;
    if (g_status.compare_exchange_strong(expected, 128 + signal)) {
        const char byte = 1;
        // Nothing to do if the pipe is full: one byte is enough.
        [[maybe_unused]] const ssize_t wrote = ::write(g_pipe[1], &byte, 1);
    }
}

} // namespace

Interruptions::Interruptions(QObject *parent)
    : QObject(parent) {
    g_instance = this;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no descriptor left: the signals keep their default action
    auto *notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(g_pipe[0], &byte, 1) > 0) {
        }
        deliver();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(Handled); ++i)
        ::sigaction(Handled[i], &action, &g_previous[i]);
}

Interruptions::~Interruptions() {
    if (g_pipe[0] >= 0) {
        for (std::size_t i = 0; i < std::size(Handled); ++i)
            ::sigaction(Handled[i], &g_previous[i], nullptr);
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
    }
    g_instance = nullptr;
}

QString Interruptions::name() const {
    switch (g_status.load() - 128) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return {};
    }
}

void reportClosedOutput() {
    ::signal(SIGPIPE, SIG_IGN);
}

int portsAtOnce() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY)
        return 0;
    // What is open already (the standard streams, the event loop's own, a log), and room for
    // what a run opens on the side: the lock file while it is written, a port's USB details.
    const auto open =
        static_cast<rlim_t>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                                .size());
    constexpr rlim_t Spare = 8;
    constexpr rlim_t PerPort = 3; // the line, its lock, and one for good measure
    const rlim_t budget =
        limit.rlim_cur > open + Spare ? (limit.rlim_cur - open - Spare) / PerPort : 0;
    return static_cast<int>(std::clamp<rlim_t>(budget, 1, 1 << 20));
}

} // namespace dialerctl
