// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "SerialLine.h"

#include "text/SystemText.h"

#include <windows.h>

namespace {

// "COM12" and the other system names open through the device namespace; a path as given.
QString devicePath(const QString& name) {
    if (name.startsWith(u'\\'))
        return name;
    return QStringLiteral("\\\\.\\") + name;
}

} // namespace

SerialLine::SerialLine(QObject *parent)
    : QObject(parent) {
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, &SerialLine::poll);
}

SerialLine::~SerialLine() {
    close();
}

bool SerialLine::setBaudRate(qint32 baud) {
    m_baudRate = baud;
    return true;
}

bool SerialLine::setParity(QSerialPort::Parity parity) {
    m_parity = parity;
    return true;
}

bool SerialLine::setDataBits(QSerialPort::DataBits bits) {
    m_dataBits = bits;
    return true;
}

bool SerialLine::setStopBits(QSerialPort::StopBits bits) {
    m_stopBits = bits;
    return true;
}

bool SerialLine::setFlowControl(QSerialPort::FlowControl flow) {
    // The dialer's line has no flow control; nothing else is ever asked for.
    return flow == QSerialPort::NoFlowControl;
}

void SerialLine::clearError() {
    m_error = QSerialPort::NoError;
    m_errorString.clear();
}

void SerialLine::setSystemError(QSerialPort::SerialPortError error, unsigned long code) {
    m_error = error;
    m_errorString = SystemText::fromCode(code);
}

bool SerialLine::open(QIODevice::OpenMode mode) {
    Q_UNUSED(mode);
    if (isOpen())
        return true;
    const std::wstring path = devicePath(m_name).toStdWString();
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            setSystemError(QSerialPort::DeviceNotFoundError, code);
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            // A COM port another program holds answers "access denied".
            setSystemError(QSerialPort::PermissionError, code);
            break;
        default:
            setSystemError(QSerialPort::UnknownError, code);
            break;
        }
        return false;
    }

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS timeouts{};
    // A read returns at once with what is waiting; a write of a command may take two seconds.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = 2000;
    bool configured = GetCommState(handle, &dcb) != 0;
    if (configured) {
        dcb.BaudRate = DWORD(m_baudRate);
        dcb.ByteSize = BYTE(m_dataBits);
        switch (m_parity) {
        case QSerialPort::EvenParity:
            dcb.Parity = EVENPARITY;
            break;
        case QSerialPort::OddParity:
            dcb.Parity = ODDPARITY;
            break;
        case QSerialPort::MarkParity:
            dcb.Parity = MARKPARITY;
            break;
        case QSerialPort::SpaceParity:
            dcb.Parity = SPACEPARITY;
            break;
        default:
            dcb.Parity = NOPARITY;
            break;
        }
        dcb.fParity = dcb.Parity != NOPARITY;
        dcb.StopBits = m_stopBits == QSerialPort::TwoStop          ? TWOSTOPBITS
                       : m_stopBits == QSerialPort::OneAndHalfStop ? ONE5STOPBITS
                                                                   : ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fNull = FALSE;
        dcb.fErrorChar = FALSE;
        // A line error must not stop every later read until someone clears it.
        dcb.fAbortOnError = FALSE;
        // Both control lines raised, as an opening does on the other systems.
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        configured = SetCommState(handle, &dcb) != 0 && SetCommTimeouts(handle, &timeouts) != 0 &&
                     PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR) != 0;
    }
    if (!configured) {
        // Qt Serial Port reports a device that takes no line settings as unsupported.
        setSystemError(QSerialPort::UnsupportedOperationError, GetLastError());
        CloseHandle(handle);
        return false;
    }
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
    char chunk[4096];
    while (!failed) {
        DWORD got = 0;
        if (!ReadFile(handle, chunk, sizeof chunk, &got, nullptr)) {
            failed = true;
            break;
        }
        m_received.append(chunk, qsizetype(got));
        if (got < sizeof chunk)
            break;
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
