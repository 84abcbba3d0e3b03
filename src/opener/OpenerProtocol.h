// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

// What the opening helper (dialer-open) and the program that started it say to each other. The
// helper is a small program of its own, with no Qt: it opens one serial device, which may keep it
// waiting in the system for as long as a driver likes (a Bluetooth link connecting), and answers
// once, with the opened device or the system's reason. The program never waits for it: it reads
// the answer when it comes, or gives up on it at its own deadline and lets the helper end alone.
//
//     dialer-open DEVICE
//
// Unix: descriptor 3 is one end of a Unix socket of records (SOCK_SEQPACKET); the answer is one
// record on it, and an opened device travels beside it as ancillary data (SCM_RIGHTS). Descriptor
// 4, where the program gives one, is kept open and untouched until the helper ends: the program's
// guard that no second helper opens the same device meanwhile.
// Windows: the standard output is a pipe; the answer is one record on it, and an opened device
// is named by the helper's own handle, which the program copies into itself (DuplicateHandle)
// before it writes one byte to the helper's standard input, which lets the helper end.

#include <cstdint>

namespace OpenerProtocol {

inline constexpr char ProgramName[] = "dialer-open";

// Unix: where the helper finds its socket, and the guard it holds.
inline constexpr int SocketFd = 3;
inline constexpr int GuardFd = 4;

enum Kind : std::uint8_t {
    Opened = 'O', // the device is open, and on its way
    Failed = 'E', // it did not open; `error` is the system's code (errno, GetLastError())
};

struct Answer {
    std::uint8_t kind = 0;
    std::uint8_t reserved[3] = {};
    std::uint32_t error = 0;
    std::uint64_t handle = 0; // Windows: the helper's handle of the opened device
};
static_assert(sizeof(Answer) == 16);

} // namespace OpenerProtocol
