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

enum class Command { Ports, Read, Write, Apply };
enum class Format { Table, Json, Ini };

// Where the six values of a write or an apply come from.
enum class ValueSource { None, File, List, Set };

// "-" for --values or --set: the values come on standard input, out of sight of `ps`.
inline constexpr char StandardInput[] = "-";

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
    bool check = false;     // apply --check: read and compare, write nothing
    bool fromStdin = false; // --values - or --set -: the values are still to be read
    int retries = 0;
    int waitBusyMs = 0;                  // how long a port another program holds is waited for
    std::optional<QString> expectSerial; // --expect-serial; none: any adapter
    QString portMapFile;                 // --port-map; empty: the invoking user's own map
    QString backupFile; // apply --backup: the values read before a change, as Velkor.ini
    QString logFile;
};

enum class Early { Help, Version };

// A usage error: the text to print (without the program's name), and what the run that failed
// asked for, as far as its arguments tell: JSON, and a command.
struct UsageError {
    explicit UsageError(QString message)
        : text(std::move(message)) {}

    QString text;
    bool json = false;
    QString command;
    // In a word for scripts: usage, or schema when --schema names documents of another version.
    QString reason = QStringLiteral("usage");
};

using ParseResult = std::variant<Invocation, Early, UsageError>;

// Reads the arguments after the program's name.
[[nodiscard]] ParseResult parseCommandLine(const QStringList& arguments);

// The values given on standard input for --values - (one line of six comma-separated values) or
// --set - (one FIELD=VALUE a line), taken into the invocation as the options themselves would be.
[[nodiscard]] std::optional<UsageError> takeStandardInput(Invocation& invocation,
                                                          const QString& text);

// "ports", "read", "write" or "apply".
[[nodiscard]] QString commandName(Command command);

// The field names --set takes, in record order: phone1 ... phone5, free.
[[nodiscard]] QString fieldName(int field);

[[nodiscard]] QString helpText();

} // namespace dialerctl
