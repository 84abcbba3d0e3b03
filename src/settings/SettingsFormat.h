// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "DialerSettings.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The settings file holds one line: the six values in order, each between double quotes, a comma
// between neighbours and CR LF after the last:
//
//     "111111111","222222222","333333333","444444444","555555555","*123*123456789#"<CR><LF>
//
// A double quote inside a value is written doubled ("") so that every value reads back as it was.
namespace SettingsFormat {

// The text of a settings file's bytes. The file Exit writes is windows-1251; one saved by an
// editor may be in another encoding, which is read as the editor meant it:
//   - a UTF-8 byte order mark, or a UTF-16 one (little or big endian), names the encoding, and
//     is no part of the first value;
//   - without one, bytes that are valid UTF-8 and hold at least one multi-byte sequence are UTF-8
//     (Cyrillic windows-1251 text practically never is);
//   - everything else is windows-1251.
[[nodiscard]] QString decodeFile(QByteArrayView bytes);

// The line Save writes, as text; it still has to be encoded to the file's code page.
[[nodiscard]] QString formatLine(const DialerSettings& settings);

struct ParseResult {
    DialerSettings settings; // the values read, and the defaults for those that were not
    int fieldsRead = 0;      // 0 to 6; below 6 the text ended early
};

// Reads the first six fields the way a sequential reader of comma-separated values does: a
// field that starts with a double quote runs to the closing quote, commas and line breaks
// included, and a doubled quote inside stands for one; an unquoted field runs to the next comma
// or line end with surrounding blanks dropped; line breaks between fields are passed over.
// Anything after the sixth field is ignored.
[[nodiscard]] ParseResult parse(QStringView text);

} // namespace SettingsFormat
