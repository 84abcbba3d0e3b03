// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// A trial opening made by a child process: when the driver holds the opening in the kernel (a
// character device that answers its open() late), only the child waits, and the program ends when
// its work ends; the child ends on its own once the opening returns.

#include "Opening_p.h"

#include <QFile>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ChildAttempt : TrialOpening::Attempt {
    pid_t pid = -1;
    int answer = -1; // the child writes one byte here once its opening has returned
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
        // The child ends right after its answer (or has ended without one).
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return true;
    }
};

// In the child, between fork and _exit: async-signal-safe calls only. It keeps nothing of the
// program's, so that no reader of the program's output waits for the child as well.
[[noreturn]] void openInChild(const char *path, int answer) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        ::signal(signal, SIG_DFL);
    const int nothing = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2; ++fd)
        ::dup2(nothing, fd);
    ::dup2(answer, 3);
    if (::syscall(SYS_close_range, 4U, ~0U, 0U) != 0) {
        for (int fd = 4; fd < 1024; ++fd)
            ::close(fd);
    }
    const int device = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device >= 0)
        ::close(device);
    const char returned = 1;
    (void)!::write(3, &returned, 1);
    ::_exit(0);
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
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return nullptr;
    const pid_t pid = ::fork();
    if (pid == 0)
        openInChild(path.constData(), pipe[1]);
    ::close(pipe[1]);
    if (pid < 0) {
        ::close(pipe[0]);
        return nullptr;
    }
    auto attempt = std::make_shared<ChildAttempt>();
    attempt->pid = pid;
    attempt->answer = pipe[0];
    return attempt;
}

} // namespace OpeningSystem
