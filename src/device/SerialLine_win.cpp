// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "SerialLine.h"

#include "CommState.h"
#include "Opening.h"
#include "text/SystemText.h"

#include <windows.h>

SerialLine::SerialLine(QObject *parent)
    : QObject(parent) {
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, &SerialLine::poll);
}

SerialLine::~SerialLine() {
    abortOpening();
    close();
}

void SerialLine::clearError() {
    m_error = QSerialPort::NoError;
    m_errorString.clear();
}

void SerialLine::setSystemError(QSerialPort::SerialPortError error, unsigned long code) {
    m_error = error;
    m_errorString = SystemText::fromCode(code);
}

namespace {

CommState::Block fromSystem(const DCB& dcb) {
    return {dcb.BaudRate,
            dcb.ByteSize,
            dcb.Parity,
            dcb.StopBits,
            dcb.fBinary != 0,
            dcb.fParity != 0,
            dcb.fOutxCtsFlow != 0,
            dcb.fOutxDsrFlow != 0,
            quint8(dcb.fDtrControl),
            dcb.fDsrSensitivity != 0,
            dcb.fTXContinueOnXoff != 0,
            dcb.fOutX != 0,
            dcb.fInX != 0,
            dcb.fErrorChar != 0,
            dcb.fNull != 0,
            quint8(dcb.fRtsControl),
            dcb.fAbortOnError != 0,
            dcb.XonChar,
            dcb.XoffChar};
}

void toSystem(const CommState::Block& block, DCB& dcb) {
    dcb.BaudRate = block.baudRate;
    dcb.ByteSize = block.byteSize;
    dcb.Parity = block.parity;
    dcb.StopBits = block.stopBits;
    dcb.fBinary = block.binary;
    dcb.fParity = block.parityCheck;
    dcb.fOutxCtsFlow = block.outxCtsFlow;
    dcb.fOutxDsrFlow = block.outxDsrFlow;
    dcb.fDtrControl = block.dtrControl & 3u; // two bits
    dcb.fDsrSensitivity = block.dsrSensitivity;
    dcb.fTXContinueOnXoff = block.txContinueOnXoff;
    dcb.fOutX = block.outX;
    dcb.fInX = block.inX;
    dcb.fErrorChar = block.errorChar;
    dcb.fNull = block.null;
    dcb.fRtsControl = block.rtsControl & 3u;
    dcb.fAbortOnError = block.abortOnError;
    dcb.XonChar = block.xonChar;
    dcb.XoffChar = block.xoffChar;
}

} // namespace

bool SerialLine::beginOpening() {
    if (isOpen() || isOpening())
        return false;
    clearError();
    m_opening = std::make_unique<DeviceOpening>();
    connect(m_opening.get(), &DeviceOpening::answered, this,
            [this](const DeviceOpening::Answer& answer) {
                onAnswer(answer.handle, answer.kind == DeviceOpening::Answer::Kind::Opened,
                         answer.kind == DeviceOpening::Answer::Kind::Refused ? answer.systemError
                                                                             : 0,
                         answer.reason);
            });
    // The helper opens "COM12" and the other system names through the device namespace, and a
    // path as given.
    m_opening->start(m_name);
    return true;
}

void SerialLine::abortOpening() {
    if (!m_opening)
        return;
    m_opening->cancel();
    m_opening.reset();
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
        done = takeUp(reinterpret_cast<HANDLE>(handle));
    } else if (!reason.isEmpty()) {
        m_error = QSerialPort::UnknownError;
        m_errorString = reason;
    } else {
        switch (systemError) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            setSystemError(QSerialPort::DeviceNotFoundError, systemError);
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            // A COM port another program holds answers "access denied".
            setSystemError(QSerialPort::PermissionError, systemError);
            break;
        case ERROR_SEM_TIMEOUT:
            // A Bluetooth serial port whose far end does not answer, after seconds.
            m_error = QSerialPort::TimeoutError;
            m_errorString = CommState::failure(CommState::Step::Open, systemError);
            break;
        default:
            setSystemError(QSerialPort::UnknownError, systemError);
            break;
        }
    }
    Q_EMIT openingDone(done);
}

// The port the helper opened becomes the line: at the line's speed and framing, with reads that
// return at once, and nothing waiting from before.
bool SerialLine::takeUp(void *device) {
    const auto handle = static_cast<HANDLE>(device);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    bool configured = GetCommState(handle, &dcb) != 0;
    if (configured) {
        toSystem(CommState::prepared(fromSystem(dcb), {m_line.baudRate, m_line.parity,
                                                       m_line.dataBits, m_line.stopBits}),
                 dcb);
        configured = SetCommState(handle, &dcb) != 0;
    }
    if (configured) {
        // A read returns at once with what is waiting; a write may take its time on the line and
        // a few hundred milliseconds more.
        const CommState::WriteTimeouts write = CommState::writeTimeouts(m_line.baudRate);
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.WriteTotalTimeoutConstant = write.constantMs;
        timeouts.WriteTotalTimeoutMultiplier = write.perByteMs;
        configured = SetCommTimeouts(handle, &timeouts) != 0;
    }
    if (!configured) {
        // Qt Serial Port reports a device that takes no line settings as unsupported.
        m_error = QSerialPort::UnsupportedOperationError;
        m_errorString = CommState::failure(CommState::Step::LineSettings, GetLastError());
        CloseHandle(handle);
        return false;
    }
    // What waited before the opening belongs to no exchange; a driver that cannot purge has
    // nothing to purge that the first read would not take (Qt does not purge at opening at all).
    (void)PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    m_handle = handle;
    m_received.clear();
    clearError();
    m_poll.start();
    return true;
}

void SerialLine::close() {
    m_poll.stop();
    if (m_handle == nullptr)
        return;
    CloseHandle(static_cast<HANDLE>(m_handle));
    m_handle = nullptr;
}

qint64 SerialLine::write(const QByteArray& bytes) {
    if (!isOpen()) {
        m_error = QSerialPort::NotOpenError;
        m_errorString = QStringLiteral("порт закрыт");
        return -1;
    }
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(m_handle), bytes.constData(), DWORD(bytes.size()), &written,
                   nullptr)) {
        setSystemError(QSerialPort::WriteError, GetLastError());
        return -1;
    }
    if (qint64(written) != bytes.size()) {
        setSystemError(QSerialPort::TimeoutError, ERROR_TIMEOUT);
        return qint64(written);
    }
    return qint64(written);
}

QByteArray SerialLine::readAll() {
    poll();
    return std::exchange(m_received, {});
}

qint64 SerialLine::skip(qint64 count) {
    const qint64 skipped = std::min<qint64>(count, m_received.size());
    m_received.remove(0, skipped);
    return skipped;
}

bool SerialLine::clear(QSerialPort::Directions directions) {
    DWORD flags = 0;
    if (directions & QSerialPort::Input) {
        flags |= PURGE_RXCLEAR;
        m_received.clear();
    }
    if (directions & QSerialPort::Output)
        flags |= PURGE_TXCLEAR;
    return !isOpen() || PurgeComm(static_cast<HANDLE>(m_handle), flags) != 0;
}

void SerialLine::poll() {
    if (!isOpen())
        return;
    const auto handle = static_cast<HANDLE>(m_handle);
    const qsizetype before = m_received.size();
    DWORD lineErrors = 0;
    COMSTAT status{};
    bool failed = ClearCommError(handle, &lineErrors, &status) == 0;
    // Only what the driver reports waiting is read: a driver that does not honour the read that
    // returns at once would otherwise hold the window's thread in ReadFile for good.
    DWORD waiting = failed ? 0 : status.cbInQue;
    char chunk[4096];
    while (waiting > 0) {
        DWORD got = 0;
        if (!ReadFile(handle, chunk, std::min<DWORD>(waiting, sizeof chunk), &got, nullptr)) {
            failed = true;
            break;
        }
        if (got == 0)
            break;
        m_received.append(chunk, qsizetype(got));
        waiting -= std::min(waiting, got);
    }
    if (failed) {
        // The device is gone (an adapter unplugged): reported once, the port stays for the
        // owner to close.
        m_poll.stop();
        setSystemError(QSerialPort::ResourceError, GetLastError());
        Q_EMIT errorOccurred(m_error);
        return;
    }
    if (m_received.size() > before)
        Q_EMIT readyRead();
}
