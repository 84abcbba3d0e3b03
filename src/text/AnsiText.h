// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// The settings file and the serial line carry 8-bit text in windows-1251, the code page the
// dialers and the original settings files were made with. It is used on every platform, whatever
// the system's own code page is, so that a file or a device value means the same everywhere.
namespace AnsiText {

inline constexpr char CodecName[] = "windows-1251";

// Every byte decodes to one character and encodes back to the same byte.
[[nodiscard]] QString decode(QByteArrayView bytes);

// Nothing when the text holds a character the code page cannot represent: such a character
// would otherwise be replaced on the way out and the value silently changed.
[[nodiscard]] std::optional<QByteArray> encode(QStringView text);

[[nodiscard]] bool isEncodable(QStringView text);

// The code page carried by this program, for Qt builds without a windows-1251 codec (builds
// without ICU, common on Windows); decode() and encode() use it where Qt has none, and it agrees
// with Qt's codec byte for byte.
namespace CodePage {
[[nodiscard]] QString decode(QByteArrayView bytes);
[[nodiscard]] std::optional<QByteArray> encode(QStringView text);
} // namespace CodePage

} // namespace AnsiText
