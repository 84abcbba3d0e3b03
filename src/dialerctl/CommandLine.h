// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "settings/DialerSettings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace dialerctl {

enum class Command { Ports, Read, Write };
enum class Format { Table, Json, Ini };

// Where a write's six values come from.
enum class ValueSource { None, File, List, Set };

// One field changed by --set: position 0 to 5 in record order.
struct FieldChange {
    int field = 0;
    QString value;
};

// What the user asked for, checked for consistency but not yet for the ports or the file.
struct Invocation {
    Command command = Command::Read;
    QStringList ports; // as given; empty means "all" for read and ports
    Format format = Format::Table;
    ValueSource source = ValueSource::None;
    QString fromFile;
    DialerSettings values;      // --values
    QList<FieldChange> changes; // --set
    bool verify = false;
    int retries = 0;
    QString logFile;
};

enum class Early { Help, Version };

// A usage error: the text to print (without the program's name).
struct UsageError {
    QString text;
};

using ParseResult = std::variant<Invocation, Early, UsageError>;

// Reads the arguments after the program's name.
[[nodiscard]] ParseResult parseCommandLine(const QStringList& arguments);

// The field names --set takes, in record order: phone1 ... phone5, free.
[[nodiscard]] QString fieldName(int field);

[[nodiscard]] QString helpText();

} // namespace dialerctl
