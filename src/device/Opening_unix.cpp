// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The opening helper on Unix: started with posix_spawn, so that nothing of this program is copied
// into it (the program execs at once, in the root folder, with an empty environment, its standard
// streams on /dev/null and only its socket and guard open), and answered on a socket of records
// that also carries the opened device.
//
// The guard: a file per device in the user's runtime folder, locked (flock) by this program before
// it starts a helper and handed to the helper, which holds the lock until it ends. A second opening
// of the device, here or in any other run, finds it locked and waits; a helper left waiting in
// the kernel therefore stays the only one, however many runs meet its device.

#include "HelperReaper_unix.h"
#include "Opening_p.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How often a device whose guard is held is looked at again.
constexpr int GuardRetryMs = 20;
// Descriptors handed to the helper stand above its own numbers while it starts (no higher: under
// a tight limit of open files, a floor of 10 may not exist at all).
constexpr int HandOverFloor = OpenerProtocol::GuardFd + 1;

// A folder of this user's alone, made where it is missing; false where it cannot be had (another
// user's, open to others, or not a folder).
bool ownFolder(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// The folder of the guards: in the user's runtime folder (XDG_RUNTIME_DIR), or else one of the
// user's own under /tmp. Nothing when neither can be had; that is said once, and the openings go
// ahead unguarded, each with a helper of its own, rather than not at all.
std::optional<QByteArray> guardFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (runtime.startsWith('/') && ::stat(runtime.constData(), &info) == 0 &&
        S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 022) == 0 &&
        ownFolder(runtime + "/dialer-config"))
        return runtime + "/dialer-config";
    const QByteArray fallback = "/tmp/dialer-config-" + QByteArray::number(::geteuid());
    if (ownFolder(fallback))
        return fallback;
    static bool told = false;
    if (!std::exchange(told, true))
        qWarning("dialer-config: no folder of this user's for the openings' guards (%s is "
                 "another's or open to others): a port whose opening hangs may be waited for by "
                 "more than one helper",
                 fallback.constData());
    return std::nullopt;
}

// The guard of a device, keyed by its real path (a by-id link and the device it names are one).
struct Guard {
    int fd = -1;       // locked, where there is one
    bool held = false; // another opening holds it
};
Guard takeGuard(const QString& devicePath) {
    const std::optional<QByteArray> folder = guardFolder();
    if (!folder)
        return {}; // nowhere to keep guards: the opening goes ahead unguarded
    const QString real = QFileInfo(devicePath).canonicalFilePath();
    QByteArray name = QUrl::toPercentEncoding(real.isEmpty() ? devicePath : real);
    if (name.size() > 200)
        name = QCryptographicHash::hash(name, QCryptographicHash::Sha256).toHex();
    const QByteArray path = *folder + "/opening." + name;
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return {fd, false};
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return {-1, held};
}

// A descriptor moved to HandOverFloor or above, so that no file action of the spawn overwrites it.
int aboveFloor(int fd) {
    if (fd < 0 || fd >= HandOverFloor)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, HandOverFloor);
    ::close(fd);
    return moved;
}

} // namespace

struct DeviceOpening::Private {
    explicit Private(DeviceOpening *opening)
        : q(opening) {
        guardRetry.setSingleShot(true);
        QObject::connect(&guardRetry, &QTimer::timeout, q, [this] { tryStart(); });
    }

    DeviceOpening *q;
    QString devicePath;
    bool underWay = false;
    int socket = -1;
    pid_t pid = -1;
    QSocketNotifier *reply = nullptr;
    QTimer guardRetry;

    // Starts the helper once the device's guard is free.
    bool tryStart() {
        const Guard guard = takeGuard(devicePath);
        if (guard.held) {
            guardRetry.start(GuardRetryMs);
            return false;
        }
        spawn(guard.fd);
        return true;
    }

    void spawn(int guard) {
        int pair[2] = {-1, -1};
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
            const int code = errno;
            if (guard >= 0)
                ::close(guard);
            fail(HelperAnswer::noChannel(static_cast<unsigned long>(code)));
            return;
        }
        pair[1] = aboveFloor(pair[1]);
        guard = aboveFloor(guard);
        if (pair[1] < 0) {
            const int code = errno;
            ::close(pair[0]);
            if (guard >= 0)
                ::close(guard);
            fail(HelperAnswer::noChannel(static_cast<unsigned long>(code)));
            return;
        }
        const QByteArray program = QFile::encodeName(DeviceOpening::program());
        const QByteArray path = QFile::encodeName(devicePath);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, pair[1], OpenerProtocol::SocketFd);
        if (guard >= 0)
            posix_spawn_file_actions_adddup2(&actions, guard, OpenerProtocol::GuardFd);
        // Without a guard, descriptor 4 is whatever this program had there: closed as well.
        posix_spawn_file_actions_addclosefrom_np(&actions, guard >= 0 ? OpenerProtocol::GuardFd + 1
                                                                      : OpenerProtocol::GuardFd);
        posix_spawn_file_actions_addchdir_np(&actions, "/");
        // The helper starts with every signal at its default and none blocked, whatever this
        // program ignores (a broken pipe) or blocks.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigset_t all;
        ::sigemptyset(&none);
        ::sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &all);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        char name[] = "dialer-open";
        char *arguments[] = {name, const_cast<char *>(path.constData()), nullptr};
        char *environment[] = {nullptr};
        const int spawned =
            ::posix_spawn(&pid, program.constData(), &actions, &attributes, arguments, environment);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pair[1]);
        if (guard >= 0)
            ::close(guard); // the helper's copy keeps the device guarded until it ends
        if (spawned != 0) {
            pid = -1;
            ::close(pair[0]);
            fail(HelperAnswer::notStarted(static_cast<unsigned long>(spawned)));
            return;
        }
        socket = pair[0];
        reply = new QSocketNotifier(socket, QSocketNotifier::Read);
        QObject::connect(reply, &QSocketNotifier::activated, q, [this] { readAnswer(); });
    }

    // Takes the helper's answer: one record, with the device beside it when it opened.
    void readAnswer() {
        OpenerProtocol::Answer record;
        iovec part{&record, sizeof record};
        alignas(cmsghdr) char room[CMSG_SPACE(sizeof(int) * 4)] = {};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = room;
        message.msg_controllen = sizeof room;
        const ssize_t got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        const int code = errno;
        int device = -1;
        for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            const auto count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
                if (device < 0)
                    device = fd;
                else
                    ::close(fd);
            }
        }
        HelperAnswer::Received received;
        if (got < 0)
            received.readError = static_cast<unsigned long>(code);
        received.bytes = std::max<qsizetype>(got, 0);
        received.hungUp = got == 0;
        received.device = device;
        const Answer answer = HelperAnswer::interpret(record, received);
        if (device >= 0 && answer.kind != Answer::Kind::Opened)
            ::close(device);
        endWith(answer, true);
    }

    void fail(QString reason) {
        Answer answer;
        answer.reason = std::move(reason);
        endWith(answer, false);
    }

    // Lets go of the helper: its socket closes (an answer still to come finds nobody, and the
    // helper closes the device), and it is reaped when it ends.
    void releaseHelper(bool answered) {
        guardRetry.stop();
        if (reply) {
            reply->setEnabled(false);
            reply->deleteLater();
            reply = nullptr;
        }
        if (socket >= 0) {
            ::close(socket);
            socket = -1;
        }
        if (pid > 0)
            HelperReaper::adopt(pid, answered);
        pid = -1;
        underWay = false;
    }

    void endWith(const Answer& answer, bool answered) {
        releaseHelper(answered);
        q->deliver(answer);
    }
};

DeviceOpening::DeviceOpening(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this)) {}

DeviceOpening::~DeviceOpening() {
    cancel();
}

void DeviceOpening::start(const QString& devicePath) {
    if (d->underWay)
        return;
    d->underWay = true;
    d->devicePath = devicePath;
    d->tryStart();
}

void DeviceOpening::cancel() {
    if (d->underWay)
        d->releaseHelper(false);
}

bool DeviceOpening::isUnderWay() const {
    return d->underWay;
}

bool DeviceOpening::waitForAnswer(int waitMs) {
    QElapsedTimer waited;
    waited.start();
    while (d->underWay) {
        const int left = int(std::max<qint64>(0, waitMs - waited.elapsed()));
        if (d->socket < 0) {
            // Waiting for another opening of the device to end.
            d->guardRetry.stop();
            if (d->tryStart())
                continue;
            if (left == 0)
                return false; // the retries go on from the event loop
            d->guardRetry.stop();
            (void)::poll(nullptr, 0, std::min(left, GuardRetryMs));
            continue;
        }
        pollfd ready{d->socket, POLLIN, 0};
        const int polled = ::poll(&ready, 1, left);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return false;
        d->readAnswer();
    }
    return true;
}

QStringList openingHelperLocations(const QString& programFolder) {
    const QString name = QString::fromLatin1(OpenerProtocol::ProgramName);
    return {programFolder + QStringLiteral("/../lib/dialer-config/") + name,
            programFolder + u'/' + name};
}
