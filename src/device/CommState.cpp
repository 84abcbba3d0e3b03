// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "CommState.h"

#include "text/SystemText.h"

namespace CommState {

namespace {

// The system's codes that drivers answer with; the same numbers on every Windows.
constexpr unsigned long GenFailure = 31;        // ERROR_GEN_FAILURE
constexpr unsigned long InvalidParameter = 87;  // ERROR_INVALID_PARAMETER
constexpr unsigned long SemaphoreTimeout = 121; // ERROR_SEM_TIMEOUT

quint8 parityCode(QSerialPort::Parity parity) {
    switch (parity) {
    case QSerialPort::OddParity:
        return 1;
    case QSerialPort::EvenParity:
        return 2;
    case QSerialPort::MarkParity:
        return 3;
    case QSerialPort::SpaceParity:
        return 4;
    default:
        return 0;
    }
}

} // namespace

Block prepared(Block driver, const Line& line) {
    Block block = driver;
    block.baudRate = quint32(line.baudRate);
    block.byteSize = quint8(line.dataBits);
    block.parity = parityCode(line.parity);
    block.parityCheck = block.parity != 0;
    block.stopBits = line.stopBits == QSerialPort::TwoStop          ? 2
                     : line.stopBits == QSerialPort::OneAndHalfStop ? 1
                                                                    : 0;
    block.binary = true;
    block.outxCtsFlow = false;
    block.outxDsrFlow = false;
    block.dsrSensitivity = false;
    block.txContinueOnXoff = false;
    block.outX = false;
    block.inX = false;
    block.null = false;
    block.errorChar = false;
    // A line error must not stop every later read until someone clears it.
    block.abortOnError = false;
    // Both control lines raised, as an opening does on the other systems.
    block.dtrControl = 1;
    block.rtsControl = 1;
    block.xonChar = 0x11;
    block.xoffChar = 0x13;
    return block;
}

WriteTimeouts writeTimeouts(qint32 baudRate) {
    // Eleven bits a byte at most (start, eight data, parity, stop), twice over.
    constexpr qint64 TwiceElevenBitsUs = qint64{2} * 11 * 1000000;
    const qint64 perByteUs = baudRate > 0 ? TwiceElevenBitsUs / baudRate : TwiceElevenBitsUs;
    return {300, quint32(std::max<qint64>(1, (perByteUs + 999) / 1000))};
}

QString failure(Step step, unsigned long code) {
    if (step == Step::LineSettings && (code == GenFailure || code == InvalidParameter))
        return QStringLiteral("драйвер адаптера не принимает параметры линии (код %1): нужна "
                              "другая версия драйвера или адаптер на микросхеме FTDI или CP210x")
            .arg(code);
    if (step == Step::Open && code == SemaphoreTimeout)
        return QStringLiteral("порт не ответил вовремя (код %1); так бывает с портами Bluetooth")
            .arg(code);
    return SystemText::fromCode(code);
}

} // namespace CommState
