// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// A trial opening made by a process of its own: when the driver holds the opening in the kernel (a
// character device that answers its open() late), only that process waits, and the program ends
// when its work ends; the process ends on its own once the opening returns. It is started through
// a short-lived intermediate, so that it is never left to be reaped here, and it keeps nothing of
// the program's: no reader of the program's output waits for it.

#include "Opening_p.h"

#include <QFile>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Where the trial's pipe stands while it starts: above the standard ones, clear of 3.
constexpr int PipeFloor = 10;
constexpr int AnswerFd = 3; // the trial writes one byte here once its opening has returned

struct ChildAttempt : TrialOpening::Attempt {
    int answer = -1;
    bool done = false;

    ~ChildAttempt() override {
        if (answer >= 0)
            ::close(answer);
    }

    bool returned() override {
        if (done)
            return true;
        pollfd ready{answer, POLLIN, 0};
        if (::poll(&ready, 1, 0) <= 0)
            return false;
        done = true;
        ::close(answer);
        answer = -1;
        return true;
    }
};

// In the trial, between fork and _exit: async-signal-safe calls only.
[[noreturn]] void trialInChild(const char *path, int answer, int lastFd) {
    ::prctl(PR_SET_NAME, "dialer-trial");
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::pthread_sigmask(SIG_SETMASK, &none, nullptr);
    ::dup2(answer, AnswerFd);
    if (::syscall(SYS_close_range, unsigned(AnswerFd + 1), ~0U, 0U) != 0) {
        for (int fd = AnswerFd + 1; fd <= lastFd; ++fd)
            ::close(fd);
    }
    // A descriptor is free now, whatever the program's limit.
    const int nothing = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2; ++fd)
        ::dup2(nothing, fd);
    if (nothing > 2)
        ::close(nothing);
    const int device = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (device >= 0)
        ::close(device);
    const char returned = 1;
    (void)!::write(AnswerFd, &returned, 1);
    ::_exit(0);
}

// A pipe whose two ends stand at PipeFloor or above, closed on exec.
bool highPipe(int (&ends)[2]) {
    int made[2];
    if (::pipe2(made, O_CLOEXEC) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        ends[i] = ::fcntl(made[i], F_DUPFD_CLOEXEC, PipeFloor);
        ::close(made[i]);
    }
    if (ends[0] >= 0 && ends[1] >= 0)
        return true;
    for (const int end : ends) {
        if (end >= 0)
            ::close(end);
    }
    return false;
}

} // namespace

namespace OpeningSystem {

void openAndClose(const QString& devicePath) {
    const QByteArray path = QFile::encodeName(devicePath);
    const int device = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device >= 0)
        ::close(device);
}

std::shared_ptr<TrialOpening::Attempt> beginApart(const QString& devicePath) {
    const QByteArray path = QFile::encodeName(devicePath);
    int answer[2];
    if (!highPipe(answer))
        return nullptr;
    rlimit files{};
    const int lastFd = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
                           ? int(std::min<rlim_t>(files.rlim_cur, 1 << 20))
                           : 1 << 16;
    // No signal handler of the program's may run in the trial before it has set its own.
    sigset_t all;
    sigset_t before;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    const pid_t intermediate = ::fork();
    if (intermediate == 0) {
        if (::_Fork() != 0)
            ::_exit(0);
        trialInChild(path.constData(), answer[1], lastFd);
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::close(answer[1]);
    if (intermediate < 0) {
        ::close(answer[0]);
        return nullptr;
    }
    while (::waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) {
    }
    auto attempt = std::make_shared<ChildAttempt>();
    attempt->answer = answer[0];
    return attempt;
}

} // namespace OpeningSystem
