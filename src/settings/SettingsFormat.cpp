// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "SettingsFormat.h"

#include "text/AnsiText.h"

#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace SettingsFormat {

namespace {

constexpr QChar Quote = u'"';
constexpr QChar Comma = u',';

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

bool isLineBreak(QChar c) {
    return c == u'\r' || c == u'\n';
}

// Reads a quoted field whose opening quote stands at `pos`. Leaves `pos` after the closing quote
// and returns the value, or nothing when the text ends before the closing quote.
std::optional<QString> readQuoted(QStringView text, qsizetype& pos) {
    QString value;
    ++pos;
    while (pos < text.size()) {
        const qsizetype quote = text.indexOf(Quote, pos);
        if (quote < 0)
            break;
        value += text.sliced(pos, quote - pos);
        if (quote + 1 < text.size() && text[quote + 1] == Quote) {
            value += Quote;
            pos = quote + 2;
            continue;
        }
        pos = quote + 1;
        return value;
    }
    pos = text.size();
    return std::nullopt;
}

QString readUnquoted(QStringView text, qsizetype& pos) {
    qsizetype end = pos;
    while (end < text.size() && text[end] != Comma && !isLineBreak(text[end]))
        ++end;
    qsizetype last = end;
    while (last > pos && isBlank(text[last - 1]))
        --last;
    QString value = text.sliced(pos, last - pos).toString();
    pos = end;
    return value;
}

std::optional<QString> decodeAs(QStringDecoder::Encoding encoding, QByteArrayView bytes) {
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QString decodeFile(QByteArrayView bytes) {
    struct Mark {
        QByteArrayView bytes;
        QStringDecoder::Encoding encoding;
    };
    for (const Mark mark :
         {Mark{"\xef\xbb\xbf", QStringDecoder::Utf8}, Mark{"\xff\xfe", QStringDecoder::Utf16LE},
          Mark{"\xfe\xff", QStringDecoder::Utf16BE}}) {
        if (bytes.startsWith(mark.bytes)) {
            // What cannot be decoded becomes U+FFFD, which no value can carry to the dialer: it
            // is refused at Save and at Exit as a typed one would be.
            QStringDecoder decoder(mark.encoding, QStringDecoder::Flag::Stateless);
            return decoder.decode(bytes.sliced(mark.bytes.size()));
        }
    }
    const bool multiByte =
        std::any_of(bytes.begin(), bytes.end(), [](char c) { return (uchar(c) & 0x80) != 0; });
    if (multiByte) {
        if (std::optional<QString> utf8 = decodeAs(QStringDecoder::Utf8, bytes))
            return *std::move(utf8);
    }
    return AnsiText::decode(bytes);
}

QString formatLine(const DialerSettings& settings) {
    QString line;
    for (int i = 0; i < DialerSettings::FieldCount; ++i) {
        if (i > 0)
            line += Comma;
        QString value = settings[i];
        line += Quote + value.replace(Quote, QStringLiteral("\"\"")) + Quote;
    }
    line += QStringLiteral("\r\n");
    return line;
}

ParseResult parse(QStringView text) {
    ParseResult result{DialerSettings::defaults(), 0};
    qsizetype pos = 0;
    const qsizetype size = text.size();
    for (int field = 0; field < DialerSettings::FieldCount; ++field) {
        while (pos < size && (isBlank(text[pos]) || isLineBreak(text[pos])))
            ++pos;
        if (pos == size)
            break;
        QString value;
        if (text[pos] == Quote) {
            std::optional<QString> quoted = readQuoted(text, pos);
            if (!quoted)
                break;
            value = std::move(*quoted);
            // Whatever stands between the closing quote and the separator is passed over.
            while (pos < size && text[pos] != Comma && !isLineBreak(text[pos]))
                ++pos;
        } else {
            value = readUnquoted(text, pos);
        }
        if (pos < size && text[pos] == Comma)
            ++pos;
        result.settings[field] = std::move(value);
        result.fieldsRead = field + 1;
    }
    return result;
}

} // namespace SettingsFormat
