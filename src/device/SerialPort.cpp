// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "SerialPort.h"

#include "DeviceAccess.h"
#include "Opening.h"
#include "text/AnsiText.h"
#include "text/SystemText.h"

#include <limits>

namespace {

// A write that went out only in part: some of the command may have reached the dialer.
QString partialWrite(qint64 written, qint64 size) {
    return QStringLiteral("команда передана не полностью: ушло %1 байт из %2, дозвонщик мог "
                          "получить её часть; считайте его заново")
        .arg(written)
        .arg(size);
}

// What a user who may not open the device is told to do.
QString deniedMessage(const QString& path, const QString& group) {
    if (group.isEmpty())
        return QStringLiteral("нет доступа к %1: попросите администратора открыть вам доступ к "
                              "этому порту")
            .arg(path);
    return QStringLiteral("нет доступа к %1: добавьте пользователя в группу «%2» и войдите в "
                          "систему заново")
        .arg(path, group);
}

} // namespace

SerialPort::SerialPort(QObject *parent)
    : QObject(parent) {
    connect(&m_port, &SerialLine::readyRead, this, &SerialPort::onReadyRead);
    connect(&m_port, &SerialLine::errorOccurred, this, &SerialPort::onPortError);
    connect(&m_port, &SerialLine::openingDone, this, &SerialPort::onLineOpened);
    m_openingDeadline.setSingleShot(true);
    // A coarse timer may give up 5 % early, before the 1,5 s its message names.
    m_openingDeadline.setTimerType(Qt::PreciseTimer);
    connect(&m_openingDeadline, &QTimer::timeout, this, &SerialPort::onOpeningOverdue);
}

void SerialPort::openWithin(int waitMs, std::function<void(bool opened)> done) {
    cancelOpening();
    const std::optional<PortMap::Device> device = this->device();
    if (!device || PortOpen() ||
        (m_kept && device->path == m_keptDevice && m_settings == m_keptSettings)) {
        done(setPortOpen(true));
        return;
    }
    closePort(); // a device kept for another
    // The opening may end at once (a helper that cannot be started): `done` is in place first.
    m_openingDevice = device;
    m_openingDone = std::move(done);
    m_openingWaitMs = waitMs;
    m_openingDeadline.start(waitMs);
    if (!prepareLine(*device)) {
        m_openingDeadline.stop();
        m_openingDevice.reset();
        std::exchange(m_openingDone, {})(tookUp(false, *device));
    }
}

void SerialPort::cancelOpening() {
    m_openingDeadline.stop();
    m_openingDone = {};
    m_openingDevice.reset();
    m_port.abortOpening();
}

void SerialPort::onLineOpened(bool opened) {
    if (!m_openingDeadline.isActive())
        return; // an opening waited for on this thread: setPortOpen takes it up itself
    m_openingDeadline.stop();
    const PortMap::Device device = *std::exchange(m_openingDevice, std::nullopt);
    std::function<void(bool)> done = std::exchange(m_openingDone, {});
    const bool ok = tookUp(opened, device);
    if (done)
        done(ok);
}

void SerialPort::onOpeningOverdue() {
    std::function<void(bool)> done = std::exchange(m_openingDone, {});
    m_openingDevice.reset();
    m_port.abortOpening();
    (void)fail(Error::Timeout, openingNotReturned(m_openingWaitMs));
    if (done)
        done(false);
}

SerialPort::~SerialPort() {
    closePort();
}

bool SerialPort::fail(Error error, QString text) {
    m_error = error;
    m_errorString = std::move(text);
    return false;
}

void SerialPort::clearError() {
    m_error = Error::None;
    m_errorString.clear();
}

std::optional<PortMap::Device> SerialPort::device() const {
    if (m_named)
        return m_named->isEmpty() ? std::nullopt
                                  : std::optional<PortMap::Device>(PortMap::Device{*m_named, {}});
    if (std::optional<PortMap::Device> mapped = m_map.device(m_commPort))
        return mapped;
    return PortMap::systemDevice(m_commPort);
}

QString SerialPort::portLabel() const {
    if (!m_label.isEmpty())
        return m_label;
    QString name = PortMap::portName(m_commPort);
    const std::optional<PortMap::Device> device = this->device();
    if (!device || device->path == name)
        return name;
    return QStringLiteral("%1 (%2)").arg(name, device->path);
}

bool SerialPort::setSettings(const QString& settings) {
    if (!parseLineSettings(settings))
        return fail(Error::InvalidValue,
                    QStringLiteral("неверные параметры линии «%1»").arg(settings));
    m_settings = settings;
    return true;
}

bool SerialPort::setCommPort(qint16 port) {
    if (PortOpen())
        return fail(Error::NotWhileOpen, QStringLiteral("порт уже открыт"));
    if (port < 0)
        return fail(Error::InvalidValue, QStringLiteral("неверный номер порта %1").arg(port));
    m_commPort = port;
    return true;
}

bool SerialPort::setRThreshold(qint16 threshold) {
    if (threshold < 0)
        return fail(Error::InvalidValue, QStringLiteral("неверный порог приёма %1").arg(threshold));
    m_rThreshold = threshold;
    return true;
}

bool SerialPort::setInBufferSize(qint16 size) {
    if (PortOpen())
        return fail(Error::NotWhileOpen, QStringLiteral("порт уже открыт"));
    if (size < 0)
        return fail(Error::InvalidValue, QStringLiteral("неверный размер буфера %1").arg(size));
    m_inBufferSize = size;
    return true;
}

bool SerialPort::setInputMode(qint32 mode) {
    if (mode != 0 && mode != 1)
        return fail(Error::InvalidValue, QStringLiteral("неверный режим ввода %1").arg(mode));
    m_inputMode = mode;
    return true;
}

bool SerialPort::setInputLen(qint16 length) {
    if (length < 0)
        return fail(Error::InvalidValue, QStringLiteral("неверная длина ввода %1").arg(length));
    m_inputLen = length;
    return true;
}

bool SerialPort::setInBufferCount(qint16 count) {
    if (count != 0)
        return fail(Error::InvalidValue, QStringLiteral("счётчик буфера можно только обнулить"));
    discardInput();
    return true;
}

void SerialPort::discardInput() {
    m_leftover.clear();
    if (m_port.isOpen()) {
        m_port.clear(QSerialPort::Input);
        m_port.skip(m_port.bytesAvailable());
    }
}

qint16 SerialPort::InBufferCount() const {
    const qint64 waiting = m_leftover.size() + (PortOpen() ? m_port.bytesAvailable() : 0);
    return static_cast<qint16>(std::min<qint64>(waiting, std::numeric_limits<qint16>::max()));
}

void SerialPort::setHeld(bool held) {
    m_held = held;
    if (!held && m_kept)
        closePort();
}

bool SerialPort::setPortOpen(bool open) {
    if (!open) {
        if (m_held && PortOpen()) {
            m_kept = true;
            m_keptDevice = device() ? device()->path : QString();
            discardInput();
            return true;
        }
        closePort();
        return true;
    }
    if (PortOpen())
        return fail(Error::NotWhileOpen, QStringLiteral("порт уже открыт"));
    const std::optional<PortMap::Device> device = this->device();
    if (!device)
        return fail(Error::NoSuchPort, QStringLiteral("такого порта нет"));
    if (m_kept) {
        if (device->path == m_keptDevice && m_settings == m_keptSettings) {
            m_kept = false;
            discardInput();
            m_commEvent = CommEvent::None;
            clearError();
            return true;
        }
        closePort();
    }
    if (!prepareLine(*device))
        return tookUp(false, *device);
    if (!m_port.waitForOpening(OpeningWaitMs)) {
        m_port.abortOpening();
        return fail(Error::Timeout, openingNotReturned(OpeningWaitMs));
    }
    return tookUp(m_port.isOpen(), *device);
}

// Sets the line up for the device and starts its opening; false when it failed at once.
bool SerialPort::prepareLine(const PortMap::Device& device) {
    const std::optional<LineSettings> line = parseLineSettings(m_settings);
    Q_ASSERT(line); // setSettings accepts nothing else
    m_port.setPortName(device.path);
    m_port.setLine(*line);
    return m_port.beginOpening();
}

// The end of an opening: the port is ready for an exchange, or the reason is told.
bool SerialPort::tookUp(bool opened, const PortMap::Device& device) {
    if (!opened) {
        const QSerialPort::SerialPortError error = m_port.error();
        const QString detail = m_port.errorString();
        m_port.clearError();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return fail(Error::NoSuchPort,
                        QStringLiteral("устройство %1 не найдено").arg(device.path));
        case QSerialPort::OpenError:
            return fail(Error::Busy, QStringLiteral("порт занят другой программой"));
        case QSerialPort::TimeoutError:
            return fail(Error::Timeout, detail);
        case QSerialPort::PermissionError: {
            if (DeviceAccess::outOfDescriptors())
                return fail(Error::Io, QStringLiteral("слишком много открытых файлов: порт "
                                                      "открыть нельзя, пока не закроются другие"));
            // The port's lock and an access check both answer with a permission error: a device
            // this user may open is held by someone else.
            if (const std::optional<DeviceAccess::Denial> denial =
                    DeviceAccess::denial(device.path))
                return fail(Error::PermissionDenied, deniedMessage(device.path, denial->group));
            return fail(Error::Busy, QStringLiteral("порт занят другой программой"));
        }
        default:
            return fail(Error::Io, SystemText::inRussian(detail));
        }
    }
    // Characters that arrived before the opening belong to no exchange.
    discardInput();
    m_keptSettings = m_settings;
    m_commEvent = CommEvent::None;
    m_losing = false;
    clearError();
    return true;
}

bool SerialPort::setOutput(const QString& text) {
    if (!PortOpen())
        return fail(Error::NotOpen, QStringLiteral("порт закрыт"));
    const std::optional<QByteArray> bytes = AnsiText::encode(text);
    if (!bytes)
        return fail(Error::InvalidValue,
                    QStringLiteral("текст содержит символ вне кодировки windows-1251"));
    const qint64 written = m_port.write(*bytes);
    if (written > 0 && written < bytes->size())
        return fail(Error::PartialWrite, partialWrite(written, bytes->size()));
    if (written != bytes->size())
        return fail(Error::Io, SystemText::inRussian(m_port.errorString()));
    return true;
}

QString SerialPort::Input() {
    QByteArray bytes = std::exchange(m_leftover, {});
    if (PortOpen())
        bytes += m_port.readAll();
    if (m_inputLen > 0 && bytes.size() > m_inputLen) {
        m_leftover = bytes.sliced(m_inputLen);
        bytes.truncate(m_inputLen);
    }
    return m_inputMode == 0 ? AnsiText::decode(bytes) : QString::fromLatin1(bytes);
}

void SerialPort::onReadyRead() {
    if (m_kept)
        return;
    if (m_rThreshold <= 0 || m_port.bytesAvailable() < m_rThreshold)
        return;
    m_commEvent = CommEvent::Receive;
    Q_EMIT OnComm();
}

void SerialPort::onPortError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
    case QSerialPort::UnknownError:
        break;
    default:
        return;
    }
    // A device kept between exchanges that is lost is simply closed: the next opening tells.
    if (m_kept) {
        closePort();
        return;
    }
    // Some Qt versions repeat a hang-up error in a tight loop while the port stays open: act on
    // the first one only.
    if (m_losing || !PortOpen())
        return;
    m_losing = true;
    const QString detail = m_port.errorString();
    m_leftover += m_port.readAll();
    closePort();
    fail(Error::Io,
         QStringLiteral("связь с портом потеряна: %1").arg(SystemText::inRussian(detail)));
    m_commEvent = CommEvent::Lost;
    Q_EMIT OnComm();
}

void SerialPort::closePort() {
    m_kept = false;
    if (!m_port.isOpen())
        return;
    m_port.close();
    m_port.clearError();
}
