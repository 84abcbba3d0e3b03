// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// Any bytes as the content of Velkor.ini: the loader must not crash, and whatever six values it
// reads must survive a save and a load unchanged.

#include "settings/SettingsFormat.h"
#include "text/AnsiText.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const SettingsFormat::ParseResult loaded = SettingsFormat::parse(AnsiText::decode(bytes));
    if (loaded.fieldsRead < 0 || loaded.fieldsRead > DialerSettings::FieldCount)
        std::abort();

    const std::optional<QByteArray> saved =
        AnsiText::encode(SettingsFormat::formatLine(loaded.settings));
    if (!saved)
        std::abort(); // everything decoded from the file's code page encodes back
    const SettingsFormat::ParseResult reloaded = SettingsFormat::parse(AnsiText::decode(*saved));
    if (reloaded.fieldsRead != DialerSettings::FieldCount ||
        !(reloaded.settings == loaded.settings))
        std::abort();
    return 0;
}
