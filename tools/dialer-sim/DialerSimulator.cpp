// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "DialerSimulator.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

DialerSimulator::DialerSimulator(QObject *parent)
    : QObject(parent)
    , m_values{"111111111", "222222222", "333333333", "444444444", "555555555", "*123*123456789#"} {
}

DialerSimulator::~DialerSimulator() {
    close();
    if (!m_link.isEmpty())
        QFile::remove(m_link);
}

bool DialerSimulator::open(QString *error) {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    // A raw line, as a serial device has: no echo, no line editing, no CR/LF translation.
    termios modes{};
    ::tcgetattr(m_slave, &modes);
    ::cfmakeraw(&modes);
    ::tcsetattr(m_slave, TCSANOW, &modes);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // Neither end is passed on to a program started from here: a tool under test that held the
    // master would keep the line up after vanish(), and a fleet of them would use up its
    // descriptors.
    for (const int fd : {m_master, m_slave})
        ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
    m_path = QString::fromLocal8Bit(name);
    watch(m_master);
    return true;
}

bool DialerSimulator::openDevice(const QString& path, QString *error) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    termios modes{};
    if (::tcgetattr(fd, &modes) == 0) {
        ::cfmakeraw(&modes);
        modes.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(fd, TCSANOW, &modes);
    }
    m_device = m_path = path;
    watch(fd);
    return true;
}

void DialerSimulator::reopenDevice() {
    if (m_device.isEmpty())
        return; // vanished meanwhile
    close();
    if (!openDevice(m_device))
        QTimer::singleShot(ReopenMs, this, &DialerSimulator::reopenDevice);
}

void DialerSimulator::watch(int fd) {
    m_master = fd;
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &DialerSimulator::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &DialerSimulator::pump);
}

bool DialerSimulator::makeLink(const QString& linkPath, QString *error) {
    QFile::remove(linkPath);
    if (!QFile::link(m_path, linkPath)) {
        if (error)
            *error = QStringLiteral("cannot link %1 to %2").arg(linkPath, m_path);
        return false;
    }
    m_link = linkPath;
    return true;
}

bool DialerSimulator::lineModes(termios *modes) const {
    // On the master side the terminal calls reach the slave's modes.
    return m_master >= 0 && ::tcgetattr(m_master, modes) == 0;
}

void DialerSimulator::clearReceived() {
    m_received.clear();
}

QByteArray DialerSimulator::readResponse(const QList<QByteArray>& values, char leading) {
    QByteArray reply(1, leading);
    for (const QByteArray& value : values)
        reply += value + ',';
    return reply + "\r\n";
}

void DialerSimulator::onReadable() {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(m_master, buffer, sizeof buffer);
        if (got <= 0) {
            // A served device that hung up reads as end of file (or an error) from then on.
            const bool hungUp = got == 0 || (errno != EAGAIN && errno != EINTR);
            if (hungUp && !m_device.isEmpty()) {
                // Out of the notifier's own signal, and not at once: the line may take a moment
                // to come back, and until it is reopened it would read as end of file again.
                m_readNotifier->setEnabled(false);
                QTimer::singleShot(ReopenMs, this, &DialerSimulator::reopenDevice);
            }
            break;
        }
        const QByteArray bytes(buffer, got);
        m_received += bytes;
        m_partialLine += bytes;
        qsizetype end;
        while ((end = m_partialLine.indexOf('\n')) >= 0) {
            const QByteArray line = m_partialLine.left(end + 1);
            m_partialLine.remove(0, end + 1);
            handleCommand(line);
            Q_EMIT commandReceived(line);
        }
    }
}

void DialerSimulator::handleCommand(const QByteArray& line) {
    ++m_generation;
    m_outgoing.clear();
    m_floodLeft = 0;

    QByteArray reply;
    if (line == "?6\r\n") {
        reply = readResponse(m_values, m_behaviour.leading);
    } else if (line.startsWith('!') && line.endsWith(",\r\n") && !m_behaviour.ignoreSaves) {
        const QList<QByteArray> fields = line.mid(1, line.size() - 4).split(',');
        if (fields.size() == 6) {
            m_values = fields;
            if (m_behaviour.alterField >= 1 && m_behaviour.alterField <= 6)
                m_values[m_behaviour.alterField - 1] += '~';
            reply = "OK\r\n";
        }
    }
    if (m_behaviour.garbage) {
        // Random bytes, binary ones and NUL included, but no comma: garbage never parses.
        reply.resize(1 + QRandomGenerator::global()->bounded(64));
        for (char& c : reply) {
            c = static_cast<char>(QRandomGenerator::global()->bounded(256));
            if (c == ',')
                c = ';';
        }
    }
    if (m_behaviour.echo)
        reply.prepend(line);
    if (m_behaviour.silent || ++m_commands <= m_behaviour.silentFirst)
        reply.clear();
    schedule(reply);
}

void DialerSimulator::schedule(const QByteArray& reply) {
    const quint64 generation = m_generation;
    const int piece = m_behaviour.chunkBytes > 0 ? m_behaviour.chunkBytes : int(reply.size());
    int at = m_behaviour.delayMs;
    for (qsizetype start = 0; start < reply.size(); start += piece) {
        const QByteArray part = reply.mid(start, piece);
        QTimer::singleShot(at, Qt::PreciseTimer, this, [this, generation, part] {
            if (generation == m_generation)
                send(part);
        });
        at += m_behaviour.chunkGapMs;
    }
    if (m_behaviour.floodBytes > 0) {
        const qint64 flood = m_behaviour.floodBytes;
        QTimer::singleShot(at, Qt::PreciseTimer, this, [this, generation, flood] {
            if (generation != m_generation)
                return;
            m_floodLeft = flood;
            pump();
        });
    }
}

void DialerSimulator::send(const QByteArray& bytes) {
    m_outgoing += bytes;
    pump();
}

void DialerSimulator::pump() {
    if (m_master < 0)
        return;
    static const QByteArray junk = QByteArray("FLOOD,0123456789,").repeated(256);
    while (!m_outgoing.isEmpty() || m_floodLeft > 0) {
        const bool flooding = m_outgoing.isEmpty();
        const char *data = flooding ? junk.constData() : m_outgoing.constData();
        const qint64 size =
            flooding ? std::min<qint64>(m_floodLeft, junk.size()) : m_outgoing.size();
        const ssize_t wrote = ::write(m_master, data, size_t(size));
        if (wrote <= 0) {
            // The line is full (the port is closed or slow to read): go on when it drains.
            m_writeNotifier->setEnabled(errno == EAGAIN || errno == EINTR);
            return;
        }
        if (flooding)
            m_floodLeft -= wrote;
        else
            m_outgoing.remove(0, wrote);
    }
    m_writeNotifier->setEnabled(false);
}

void DialerSimulator::vanish() {
    m_device.clear();
    close();
}

void DialerSimulator::close() {
    ++m_generation;
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}
