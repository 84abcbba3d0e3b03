// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "HelperReaper_unix.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How long a program that ends waits for helpers that have answered and not yet ended.
constexpr int EndOfProgramWaitMs = 250;

int openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid);
    return -1;
#endif
}

class Reaper {
public:
    static Reaper& instance() {
        // Never destroyed: helpers may still end while the program does. Those that answered are
        // reaped as the program ends, so that none is left to the system's first process.
        static auto *reaper = [] {
            qAddPostRoutine([] { instance().reapAnswered(EndOfProgramWaitMs); });
            return new Reaper;
        }();
        return *reaper;
    }

    void adopt(pid_t pid, bool answered) {
        if (reaped(pid))
            return;
        Child child{pid, openPidFd(pid), answered, nullptr};
        if (child.pidFd >= 0) {
            ::fcntl(child.pidFd, F_SETFD, FD_CLOEXEC);
            child.watch = new QSocketNotifier(child.pidFd, QSocketNotifier::Read);
            QObject::connect(child.watch, &QSocketNotifier::activated, child.watch,
                             [this, pid] { sweep(pid); });
        } else {
            if (!m_sweep) {
                m_sweep = new QTimer;
                m_sweep->setInterval(200);
                QObject::connect(m_sweep, &QTimer::timeout, m_sweep, [this] { sweep(0); });
            }
            m_sweep->start();
        }
        m_children.insert(pid, child);
    }

    void reapAnswered(int waitMs) {
        QElapsedTimer waited;
        waited.start();
        m_children.removeIf([&waited, waitMs](std::pair<const pid_t&, Child&> entry) {
            Child& child = entry.second;
            if (!child.answered)
                return false;
            if (child.pidFd >= 0) {
                pollfd ended{child.pidFd, POLLIN, 0};
                (void)::poll(&ended, 1, int(std::max<qint64>(0, waitMs - waited.elapsed())));
            }
            return reapedAndReleased(child);
        });
    }

private:
    struct Child {
        pid_t pid = -1;
        int pidFd = -1;
        bool answered = false;
        QSocketNotifier *watch = nullptr;
    };

    static bool reaped(pid_t pid) {
        int status = 0;
        pid_t done = 0;
        do {
            done = ::waitpid(pid, &status, WNOHANG);
        } while (done < 0 && errno == EINTR);
        // Gone already (reaped by someone else) counts as reaped.
        return done == pid || (done < 0 && errno == ECHILD);
    }

    // The test of the removeIf calls above, made once for each entry: true when the helper is
    // reaped and its descriptor already closed, so that the entry can only go.
    static bool reapedAndReleased(Child& child) {
        if (!reaped(child.pid))
            return false;
        release(child);
        return true;
    }

    static void release(Child& child) {
        if (child.watch) {
            child.watch->setEnabled(false);
            child.watch->deleteLater();
        }
        if (child.pidFd >= 0)
            ::close(child.pidFd);
    }

    // Reaps the one helper (pid), or every one that has ended (0).
    void sweep(pid_t pid) {
        m_children.removeIf([pid](std::pair<const pid_t&, Child&> entry) {
            return (pid == 0 || entry.first == pid) && reapedAndReleased(entry.second);
        });
        if (m_sweep && m_children.isEmpty())
            m_sweep->stop();
    }

    QHash<pid_t, Child> m_children;
    QTimer *m_sweep = nullptr;
};

} // namespace

namespace HelperReaper {

void adopt(pid_t pid, bool answered) {
    Reaper::instance().adopt(pid, answered);
}

} // namespace HelperReaper
