// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QSerialPort>
#include <QString>

// How a Windows serial line is set up, as plain rules that every system builds and tests: the
// Windows line (SerialLine_win.cpp) carries them to and from the system's structures.
namespace CommState {

// The fields of the system's device control block (DCB) that an opening reads or sets, with the
// system's own values (NOPARITY 0 ... SPACEPARITY 4, ONESTOPBIT 0, ONE5STOPBITS 1, TWOSTOPBITS 2,
// DTR_CONTROL_ENABLE 1, RTS_CONTROL_ENABLE 1).
struct Block {
    quint32 baudRate = 0;
    quint8 byteSize = 0;
    quint8 parity = 0;
    quint8 stopBits = 0;
    bool binary = false;
    bool parityCheck = false;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    quint8 dtrControl = 0;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool outX = false;
    bool inX = false;
    bool errorChar = false;
    bool null = false;
    quint8 rtsControl = 0;
    bool abortOnError = false;
    char xonChar = 0;
    char xoffChar = 0;

    friend bool operator==(const Block&, const Block&) = default;
};

struct Line {
    qint32 baudRate = 115200;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// The block to hand the driver, from the one the driver handed out: the line's speed and framing,
// binary, no flow control of any kind, both control lines raised, line errors that do not stop
// the reads, and the standard XON and XOFF characters (0x11, 0x13). A driver refuses a block
// whose two are equal, and some virtual ports hand out both as 0. Everything else stays the
// driver's own.
[[nodiscard]] Block prepared(Block driver, const Line& line);

// The write timeouts of the system's COMMTIMEOUTS: a constant plus so much per byte. A command
// of the dialer is a few dozen bytes, so a write that has not gone out in a few hundred
// milliseconds beyond twice its time on the line will not.
struct WriteTimeouts {
    quint32 constantMs = 0;
    quint32 perByteMs = 0;

    friend bool operator==(const WriteTimeouts&, const WriteTimeouts&) = default;
};
[[nodiscard]] WriteTimeouts writeTimeouts(qint32 baudRate);

// Where an opening failed.
enum class Step { Open, LineSettings };

// Why, in the user's words, from the system's error code (GetLastError): the refusals that real
// drivers give and that a user can do something about get words of their own.
[[nodiscard]] QString failure(Step step, unsigned long code);

} // namespace CommState
