#include "text/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace AnsiText {

QString decode(QByteArrayView bytes) {
    QStringDecoder decoder(CodecName);
    Q_ASSERT(decoder.isValid());
    return decoder.decode(bytes);
}

std::optional<QByteArray> encode(QStringView text) {
    // A lone surrogate is no character at all; the codec would pass it on as a replacement byte.
    if (!text.isValidUtf16())
        return std::nullopt;
    QStringEncoder encoder(CodecName);
    Q_ASSERT(encoder.isValid());
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

bool isEncodable(QStringView text) {
    return encode(text).has_value();
}

} // namespace AnsiText
