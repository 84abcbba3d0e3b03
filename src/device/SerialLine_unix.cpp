// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "SerialLine.h"

#include "Opening.h"
#include "text/SystemText.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The folders Qt Serial Port looks in for a lock folder, in its order: the first readable one
// that holds the device's lock, or may take it, is the one.
constexpr std::array LockFolders = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                    "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                    "/var/lock/lockdev", "/run/lock"};

struct Speed {
    qint32 baud;
    speed_t code;
};
constexpr Speed Speeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::optional<speed_t> speedCode(qint32 baud) {
    for (const Speed& speed : Speeds) {
        if (speed.baud == baud)
            return speed.code;
    }
    return std::nullopt;
}

// The errors Qt Serial Port gives for a system error number.
QSerialPort::SerialPortError fromErrno(int code) {
    switch (code) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QSerialPort::DeviceNotFoundError;
    case EACCES:
    case EPERM:
    case EBUSY:
        return QSerialPort::PermissionError;
    case EAGAIN:
    case EIO:
    case EBADF:
        return QSerialPort::ResourceError;
    case EINVAL:
    case ENOTTY:
        return QSerialPort::UnsupportedOperationError;
    default:
        return QSerialPort::UnknownError;
    }
}

// The device's modes made raw, at the line's speed and framing, with no flow control of any kind;
// false for a speed the system has no code for.
bool makeRaw(termios& modes, const LineSettings& line) {
    const std::optional<speed_t> speed = speedCode(line.baudRate);
    if (!speed)
        return false;
    ::cfmakeraw(&modes);
    modes.c_cflag |= CLOCAL | CREAD;
    modes.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    // No parity check, and a character received with a framing or parity error is dropped rather
    // than read as a NUL, whatever the device's last user left.
    modes.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP | PARMRK);
    modes.c_iflag |= IGNPAR;
    switch (line.dataBits) {
    case QSerialPort::Data5:
        modes.c_cflag |= CS5;
        break;
    case QSerialPort::Data6:
        modes.c_cflag |= CS6;
        break;
    case QSerialPort::Data7:
        modes.c_cflag |= CS7;
        break;
    default:
        modes.c_cflag |= CS8;
        break;
    }
    switch (line.parity) {
    case QSerialPort::EvenParity:
        modes.c_cflag |= PARENB;
        break;
    case QSerialPort::OddParity:
        modes.c_cflag |= PARENB | PARODD;
        break;
    case QSerialPort::SpaceParity:
        modes.c_cflag |= PARENB | CMSPAR;
        break;
    case QSerialPort::MarkParity:
        modes.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    default:
        break;
    }
    if (line.stopBits != QSerialPort::OneStop)
        modes.c_cflag |= CSTOPB;
    // A read returns what is waiting and never waits itself (the device is non-blocking): with
    // at least one character asked for, a read that returns nothing at all is a hang-up, which
    // the system also tells as such (another program may change these modes underneath).
    modes.c_cc[VMIN] = 1;
    modes.c_cc[VTIME] = 0;
    return ::cfsetispeed(&modes, *speed) == 0 && ::cfsetospeed(&modes, *speed) == 0;
}

} // namespace

SerialLine::SerialLine(QObject *parent)
    : QObject(parent) {}

SerialLine::~SerialLine() {
    abortOpening();
    close();
}

void SerialLine::clearError() {
    m_error = QSerialPort::NoError;
    m_errorString.clear();
}

void SerialLine::setSystemError(QSerialPort::SerialPortError error, int code) {
    m_error = error;
    m_errorString = QString::fromLocal8Bit(std::strerror(code));
}

QString SerialLine::lockFilePath(const QString& devicePath) {
    QString name = devicePath.startsWith(QStringLiteral("/dev/")) ? devicePath.mid(5) : devicePath;
    name.replace(u'/', u'_');
    name.prepend(QStringLiteral("/LCK.."));
    for (const char *folder : LockFolders) {
        const QFileInfo info(QString::fromLatin1(folder));
        QString path = info.filePath() + name;
        if (info.isReadable() && (QFile::exists(path) || info.isWritable()))
            return path;
    }
    return {};
}

bool SerialLine::beginOpening() {
    if (isOpen() || isOpening())
        return false;
    clearError();
    // The device is locked as Qt Serial Port locks it, under its real name, and under the name
    // given where that is another (a by-id link), so that no program that names it either way
    // meets it in use. The lock comes first: a device another program holds is never opened.
    const QString real = QFileInfo(m_name).canonicalFilePath();
    QStringList names{real.isEmpty() ? m_name : real};
    if (names.front() != m_name)
        names << m_name;
    for (const QString& name : names) {
        const QString path = lockFilePath(name);
        if (path.isEmpty()) {
            m_error = QSerialPort::PermissionError;
            m_errorString = QStringLiteral("Failed to create a lock file for opening the device");
            releaseLock();
            return false;
        }
        auto lock = std::make_unique<QLockFile>(path);
        if (!lock->tryLock()) {
            m_error = QSerialPort::PermissionError;
            m_errorString = QStringLiteral("Permission error while locking the device");
            releaseLock();
            return false;
        }
        (m_lock ? m_linkLock : m_lock) = std::move(lock);
    }
    m_opening = std::make_unique<DeviceOpening>();
    connect(m_opening.get(), &DeviceOpening::answered, this,
            [this](const DeviceOpening::Answer& answer) {
                onAnswer(answer.handle, answer.kind == DeviceOpening::Answer::Kind::Opened,
                         answer.kind == DeviceOpening::Answer::Kind::Refused ? answer.systemError
                                                                             : 0,
                         answer.reason);
            });
    m_opening->start(m_name);
    return true;
}

void SerialLine::abortOpening() {
    if (!m_opening)
        return;
    m_opening->cancel();
    m_opening.reset();
    if (!isOpen())
        releaseLock();
}

bool SerialLine::isOpening() const {
    return m_opening && m_opening->isUnderWay();
}

bool SerialLine::waitForOpening(int waitMs) {
    return !isOpening() || m_opening->waitForAnswer(waitMs);
}

void SerialLine::onAnswer(qintptr handle, bool opened, unsigned long systemError,
                          const QString& reason) {
    m_opening.release()->deleteLater();
    bool done = false;
    if (opened) {
        done = takeUp(int(handle));
    } else if (reason.isEmpty()) {
        setSystemError(fromErrno(int(systemError)), int(systemError));
    } else {
        m_error = QSerialPort::UnknownError;
        m_errorString = reason;
    }
    if (!done)
        releaseLock();
    Q_EMIT openingDone(done);
}

// The device the helper opened becomes the line: exclusive, raw, at the line's speed and framing.
bool SerialLine::takeUp(int fd) {
    // A device another program holds exclusively (Qt Serial Port takes it so, perhaps under
    // another name, a by-id link) is that program's: root's opening passes TIOCEXCL, so it is
    // looked at here, as a non-root opening would have been refused.
    int heldElsewhere = 0;
    if (::ioctl(fd, TIOCGEXCL, &heldElsewhere) == 0 && heldElsewhere != 0) {
        setSystemError(QSerialPort::PermissionError, EBUSY);
        ::close(fd);
        return false;
    }
    // Another opener of the device, root aside, is refused from here on.
    (void)::ioctl(fd, TIOCEXCL);
    const auto giveUp = [fd] {
        (void)::ioctl(fd, TIOCNXCL);
        ::close(fd);
    };
    termios modes{};
    if (::tcgetattr(fd, &modes) != 0) {
        setSystemError(fromErrno(errno), errno);
        giveUp();
        return false;
    }
    m_restored = QByteArray(reinterpret_cast<const char *>(&modes), sizeof modes);
    if (!makeRaw(modes, m_line)) {
        m_error = QSerialPort::UnsupportedOperationError;
        m_errorString = QStringLiteral("Invalid baud rate value");
        giveUp();
        return false;
    }
    if (::tcsetattr(fd, TCSANOW, &modes) != 0) {
        setSystemError(fromErrno(errno), errno);
        giveUp();
        return false;
    }
    m_fd = fd;
    m_lost = false;
    m_received.clear();
    m_pending.clear();
    m_readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &SerialLine::readWaiting);
    m_writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    m_writable->setEnabled(false);
    connect(m_writable.get(), &QSocketNotifier::activated, this, &SerialLine::onWritable);
    clearError();
    return true;
}

void SerialLine::close() {
    m_readable.reset();
    m_writable.reset();
    if (m_fd >= 0) {
        // Output the device has not taken by now will not go: a closing that waited for it would
        // hold this thread for as long as the driver's drain time (half a minute by default).
        int unsent = 0;
        if (::ioctl(m_fd, TIOCOUTQ, &unsent) == 0 && unsent > 0)
            (void)::tcflush(m_fd, TCOFLUSH);
        if (m_restored.size() == sizeof(termios))
            (void)::tcsetattr(m_fd, TCSANOW,
                              reinterpret_cast<const termios *>(m_restored.constData()));
        (void)::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);
        m_fd = -1;
    }
    m_pending.clear();
    releaseLock();
}

void SerialLine::releaseLock() {
    m_linkLock.reset();
    m_lock.reset();
}

qint64 SerialLine::write(const QByteArray& bytes) {
    if (!isOpen()) {
        m_error = QSerialPort::NotOpenError;
        m_errorString = QStringLiteral("Device is not open");
        return -1;
    }
    if (m_lost) {
        m_error = QSerialPort::WriteError;
        m_errorString = QStringLiteral("Error writing to device");
        return -1;
    }
    m_pending += bytes;
    // A write the device refuses at once is this call's failure; the loss of the line, if that is
    // what it was, is told by the reads.
    if (!writeWaiting()) {
        m_pending.clear();
        return -1;
    }
    return bytes.size();
}

// Writes what the device takes now; the rest waits for it to take more.
bool SerialLine::writeWaiting() {
    while (!m_pending.isEmpty()) {
        const ssize_t written = ::write(m_fd, m_pending.constData(), size_t(m_pending.size()));
        if (written > 0) {
            m_pending.remove(0, written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN)
            break;
        setSystemError(QSerialPort::WriteError, written < 0 ? errno : EIO);
        return false;
    }
    if (m_writable)
        m_writable->setEnabled(!m_pending.isEmpty());
    return true;
}

void SerialLine::onWritable() {
    if (!writeWaiting())
        lose(m_errorString);
}

void SerialLine::readWaiting() {
    if (m_fd < 0 || m_lost)
        return;
    const qsizetype before = m_received.size();
    QString lostWhy;
    char chunk[4096];
    // A device that floods the line does not hold the event loop: what is left is read at the
    // next turn.
    for (int turn = 0; turn < 16; ++turn) {
        const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
        if (got > 0) {
            m_received.append(chunk, got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            break;
        // End of file is the line hung up, which the system also tells as POLLHUP; without it,
        // an empty read is another program's VMIN 0 (Qt Serial Port's, as root), and silence.
        if (got == 0) {
            pollfd line{m_fd, POLLIN, 0};
            if (::poll(&line, 1, 0) != 1 || !(line.revents & (POLLHUP | POLLERR)))
                break;
        }
        // End of file is the line hung up; any other failure of a read is the device gone.
        if (got == 0) {
            m_error = QSerialPort::ResourceError;
            m_errorString = QStringLiteral("Device disappeared from the system");
        } else {
            setSystemError(QSerialPort::ResourceError, errno);
        }
        lostWhy = m_errorString;
        break;
    }
    if (m_received.size() > before)
        Q_EMIT readyRead();
    if (!lostWhy.isEmpty() && m_fd >= 0)
        lose(lostWhy);
}

// Reported once: the line takes nothing further, and its owner closes it.
void SerialLine::lose(const QString& why) {
    if (m_lost)
        return;
    m_lost = true;
    m_errorString = why;
    if (m_readable)
        m_readable->setEnabled(false);
    if (m_writable)
        m_writable->setEnabled(false);
    Q_EMIT errorOccurred(m_error);
}

QByteArray SerialLine::readAll() {
    return std::exchange(m_received, {});
}

qint64 SerialLine::skip(qint64 count) {
    const qint64 skipped = std::min<qint64>(count, m_received.size());
    m_received.remove(0, skipped);
    return skipped;
}

bool SerialLine::clear(QSerialPort::Directions directions) {
    if (directions & QSerialPort::Input)
        m_received.clear();
    if (directions & QSerialPort::Output)
        m_pending.clear();
    if (!isOpen())
        return true;
    const int queue = directions == QSerialPort::AllDirections ? TCIOFLUSH
                      : (directions & QSerialPort::Input)      ? TCIFLUSH
                                                               : TCOFLUSH;
    return ::tcflush(m_fd, queue) == 0;
}
