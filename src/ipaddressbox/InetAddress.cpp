// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "InetAddress.h"

#include <array>

namespace InetAddress {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The blanks of the C library's isspace in the C locale.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int digitValue(char c, int base) {
    int value = -1;
    if (isDigit(c))
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// One part, as C writes numbers: 0x hexadecimal, a leading 0 octal, otherwise decimal. Leaves
// `pos` after the part's last digit; nothing when it holds no digit or exceeds 32 bits.
std::optional<quint32> readPart(QByteArrayView text, qsizetype& pos) {
    int base = 10;
    if (text[pos] == '0') {
        base = 8;
        if (pos + 1 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
            base = 16;
            pos += 2;
        }
    }
    quint64 value = 0;
    bool digits = false;
    while (pos < text.size()) {
        const int digit = digitValue(text[pos], base);
        if (digit < 0)
            break;
        value = value * quint64(base) + quint64(digit);
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
        digits = true;
        ++pos;
    }
    if (!digits)
        return std::nullopt;
    return quint32(value);
}

} // namespace

std::optional<quint32> parse(QByteArrayView text) {
    if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
        text = text.first(nul);

    std::array<quint32, 4> parts{};
    int count = 0;
    qsizetype pos = 0;
    for (;;) {
        if (pos >= text.size() || !isDigit(text[pos]))
            return std::nullopt;
        const std::optional<quint32> part = readPart(text, pos);
        if (!part)
            return std::nullopt;
        parts[std::size_t(count++)] = *part;
        if (pos < text.size() && text[pos] == '.') {
            if (count == 4 || *part > 0xFF)
                return std::nullopt;
            ++pos;
            continue;
        }
        break;
    }
    if (pos < text.size() && !isBlank(text[pos]))
        return std::nullopt;

    // The last part fills the bits the earlier ones leave.
    static constexpr std::array<quint32, 4> lastPartMax{0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
    const quint32 last = parts[std::size_t(count - 1)];
    if (last > lastPartMax[std::size_t(count - 1)])
        return std::nullopt;
    quint32 address = last;
    for (int i = 0; i < count - 1; ++i)
        address |= parts[std::size_t(i)] << (24 - 8 * i);
    return address;
}

quint32 inetAddr(QByteArrayView text) {
    const std::optional<quint32> address = parse(text);
    return address ? toIntegerForm(*address) : None;
}

QString inetNtoa(quint32 integerForm) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(integerForm & 0xFF)
        .arg((integerForm >> 8) & 0xFF)
        .arg((integerForm >> 16) & 0xFF)
        .arg(integerForm >> 24);
}

} // namespace InetAddress
