// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Conversions between IPv4 address text and numbers, the same on every platform.
//
// Two 32-bit forms of an address a.b.c.d are in use:
//  - the address number, field a in bits 24-31 down to d in bits 0-7 (the editor's form);
//  - the integer form, a + b*2^8 + c*2^16 + d*2^24 (the address in network byte order as laid out
//    in memory, read as a little-endian integer: what inet_addr returns on a PC).
namespace InetAddress {

inline constexpr quint32 None = 0xFFFFFFFFu; // INADDR_NONE: all ones

// The text forms of the Windows Sockets inet_addr: a.b.c.d, a.b.c (c fills 16 bits), a.b (b fills
// 24 bits) and a (32 bits); each part decimal, octal with a leading 0, or hexadecimal with 0x.
// Rejected: a leading blank, a part without digits, a digit outside its base, a part too large
// for its bits, anything but a blank after the address. Text after a blank that follows a
// complete address is ignored, and a NUL ends the text as it ends a C string.
// Returns the address number, or nothing when the text is rejected.
[[nodiscard]] std::optional<quint32> parse(QByteArrayView text);

// inet_addr: the integer form of the text's address, or None (all ones) when it is rejected.
[[nodiscard]] quint32 inetAddr(QByteArrayView text);

// inet_ntoa: the integer form as dotted decimal, four numbers without leading zeros.
[[nodiscard]] QString inetNtoa(quint32 integerForm);

// Between the two forms: the four bytes reversed.
[[nodiscard]] constexpr quint32 toIntegerForm(quint32 addressNumber) {
    return (addressNumber >> 24) | ((addressNumber >> 8) & 0xFF00u) |
           ((addressNumber << 8) & 0xFF0000u) | (addressNumber << 24);
}
[[nodiscard]] constexpr quint32 toAddressNumber(quint32 integerForm) {
    return toIntegerForm(integerForm);
}

} // namespace InetAddress
