// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "text/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <utility>

namespace AnsiText {

namespace {

// Bytes 0x80 to 0xFF of windows-1251; bytes below 0x80 are ASCII. 0x98 has no character of its
// own and stands for U+0098, as in Qt's codec, so that every byte survives a round trip.
constexpr std::array<char16_t, 128> HighHalf{
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // 0xC0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // 0xC8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // 0xD0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // 0xD8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // 0xE0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // 0xE8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // 0xF0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // 0xF8
};

// The same table by character, for encoding.
const std::array<std::pair<char16_t, char>, 128>& byCharacter() {
    static const auto table = [] {
        std::array<std::pair<char16_t, char>, 128> t{};
        for (std::size_t i = 0; i < HighHalf.size(); ++i)
            t[i] = {HighHalf[i], char(0x80 + i)};
        std::sort(t.begin(), t.end());
        return t;
    }();
    return table;
}

// ASCII is the same in the code page as everywhere, and the usual content of a setting (digits,
// '*', '#'). It is converted without the codec, whose first use loads ICU's conversion tables:
// a millisecond of start-up for nothing.
bool isAscii(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

bool qtHasCodec() {
    static const bool has = QStringDecoder(CodecName).isValid();
    return has;
}

} // namespace

namespace CodePage {

QString decode(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text[i] = QChar(byte < 0x80 ? char16_t(byte) : HighHalf[byte - 0x80]);
    }
    return text;
}

std::optional<QByteArray> encode(QStringView text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    const auto& table = byCharacter();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            bytes[i] = char(c);
            continue;
        }
        const auto found =
            std::lower_bound(table.begin(), table.end(), std::pair{c, char(0)},
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        if (found == table.end() || found->first != c)
            return std::nullopt;
        bytes[i] = found->second;
    }
    return bytes;
}

} // namespace CodePage

QString decode(QByteArrayView bytes) {
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    if (!qtHasCodec())
        return CodePage::decode(bytes);
    QStringDecoder decoder(CodecName);
    return decoder.decode(bytes);
}

std::optional<QByteArray> encode(QStringView text) {
    if (isAscii(text))
        return text.toLatin1();
    if (!qtHasCodec())
        return CodePage::encode(text);
    // A lone surrogate is no character at all; the codec would pass it on as a replacement byte.
    if (!text.isValidUtf16())
        return std::nullopt;
    QStringEncoder encoder(CodecName);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

bool isEncodable(QStringView text) {
    return encode(text).has_value();
}

} // namespace AnsiText
