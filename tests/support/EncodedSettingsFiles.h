// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "device/DialerProtocol.h"
#include "settings/SettingsFormat.h"
#include "text/AnsiText.h"

#include <QStringEncoder>

#include <QTest>
#include <functional>

#include "TestSupport.h"

// Settings files as editors save them, as rows of a test table: the file's bytes, the six values
// they stand for, the save command those values make on the line, and the file Exit writes back.
// Both programs read every row by the one rule.
inline void addEncodedSettingsFileRows() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("exitFile");
    const auto row = [](const char *name, const QStringList& values,
                        const std::function<QByteArray(const QString&)>& save) {
        const DialerSettings settings = record(values);
        const QString line = SettingsFormat::formatLine(settings);
        QTest::newRow(name) << save(line) << values
                            << AnsiText::encode(DialerProtocol::SaveCommand(settings)).value()
                            << AnsiText::encode(line).value();
    };
    const auto in = [](QStringEncoder::Encoding encoding, const QByteArray& mark) {
        return [encoding, mark](const QString& line) {
            QStringEncoder encoder(encoding);
            return mark + QByteArray(encoder.encode(line));
        };
    };
    // "Иван" holds И, whose UTF-8 form (d0 98) holds 0x98, a byte windows-1251 leaves undefined.
    const QStringList cyrillic{"Привет", "Мир", "Иван", "444", "555", "*100#"};
    row("UTF-8 as Notepad saves it", cyrillic, in(QStringEncoder::Utf8, {}));
    row("UTF-8 with a byte order mark", cyrillic, in(QStringEncoder::Utf8, "\xef\xbb\xbf"));
    row("UTF-16 LE with a byte order mark", cyrillic, in(QStringEncoder::Utf16LE, "\xff\xfe"));
    row("UTF-16 BE with a byte order mark", cyrillic, in(QStringEncoder::Utf16BE, "\xfe\xff"));
    const auto ansi = [](const QString& line) {
        return AnsiText::encode(line).value();
    };
    row("windows-1251, as Exit writes it", cyrillic, ansi);
    // № is 0xb9 alone: no UTF-8 sequence starts so.
    row("windows-1251 with a lone high byte", {"№5", "Ёж", "3", "4", "5", "*1#"}, ansi);
    row("ASCII", {"1", "2", "3", "4", "5", "*1#"}, ansi);
}
