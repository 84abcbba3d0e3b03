// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "CommandLine.h"

#include <QCommandLineParser>

namespace dialerctl {

namespace {

// As the window's fields take a value: without its leading blanks, the rest as it is.
QString withoutLeadingBlanks(const QString& value) {
    qsizetype blanks = 0;
    while (blanks < value.size() && value[blanks] == u' ')
        ++blanks;
    return value.sliced(blanks);
}

QString usage(const QString& text) {
    return text + QStringLiteral("\nTry 'dialerctl --help'.");
}

std::optional<int> fieldByName(QStringView name) {
    for (int i = 0; i < DialerSettings::FieldCount; ++i) {
        if (name.compare(fieldName(i), Qt::CaseInsensitive) == 0)
            return i;
    }
    return std::nullopt;
}

} // namespace

QString fieldName(int field) {
    return field < 5 ? QStringLiteral("phone%1").arg(field + 1) : QStringLiteral("free");
}

QString helpText() {
    return QStringLiteral(
        "Usage:\n"
        "  dialerctl ports [--json]\n"
        "  dialerctl read  [--port P]... [--json | --ini] [--retries N] [--log FILE]\n"
        "  dialerctl write --port P [--port P]... (--from FILE | --values LIST | "
        "--set FIELD=VALUE...)\n"
        "                  [--verify] [--json] [--retries N] [--log FILE]\n"
        "  dialerctl --help | --version\n"
        "\n"
        "Reads, writes and verifies GSM dialers on serial ports, all selected ports at once.\n"
        "\n"
        "  --port P          COM1 ... COM9 (as the window numbers them, port map included),\n"
        "                    a device path, or 'all' (every port that opens now); repeatable.\n"
        "                    read without --port reads all.\n"
        "  --json            one JSON array on stdout, one object per port\n"
        "  --ini             (read, one port) the settings-file line, as Exit writes Velkor.ini\n"
        "  --from FILE       write the six values of a settings file (Velkor.ini format)\n"
        "  --values LIST     write six comma-separated values: '111,222,333,444,555,*123#'\n"
        "  --set FIELD=VALUE read each dialer, change FIELD (phone1 ... phone5, free) and write\n"
        "                    its own six values back; repeatable\n"
        "  --verify          read back after a write; the port is verified if all six match\n"
        "  --retries N       try an exchange without an answer, or with a reply not\n"
        "                    understood, up to N more times (default 0)\n"
        "  --log FILE        append one JSON line per port and command to FILE\n"
        "\n"
        "Exit status: 0 every port succeeded, 1 at least one port failed, 2 usage or input\n"
        "error (nothing was sent).\n");
}

ParseResult parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("P"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption ini(QStringLiteral("ini"));
    const QCommandLineOption from(QStringLiteral("from"), {}, QStringLiteral("FILE"));
    const QCommandLineOption values(QStringLiteral("values"), {}, QStringLiteral("LIST"));
    const QCommandLineOption set(QStringLiteral("set"), {}, QStringLiteral("FIELD=VALUE"));
    const QCommandLineOption verify(QStringLiteral("verify"));
    const QCommandLineOption retries(QStringLiteral("retries"), {}, QStringLiteral("N"));
    const QCommandLineOption log(QStringLiteral("log"), {}, QStringLiteral("FILE"));
    parser.addOptions({help, version, port, json, ini, from, values, set, verify, retries, log});

    // QCommandLineParser wants the program's name first.
    if (!parser.parse(QStringList{QStringLiteral("dialerctl")} + arguments))
        return UsageError{usage(parser.errorText())};
    if (parser.isSet(help))
        return Early::Help;
    if (parser.isSet(version))
        return Early::Version;

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return UsageError{usage(QStringLiteral("No command given: ports, read or write."))};
    if (positional.size() > 1)
        return UsageError{usage(QStringLiteral("Unexpected argument '%1'.").arg(positional.at(1)))};

    Invocation invocation;
    const QString& command = positional.front();
    if (command == u"ports")
        invocation.command = Command::Ports;
    else if (command == u"read")
        invocation.command = Command::Read;
    else if (command == u"write")
        invocation.command = Command::Write;
    else
        return UsageError{usage(QStringLiteral("Unknown command '%1'.").arg(command))};

    // Which options each command takes.
    const auto refuseFor = [&](const QCommandLineOption& option) -> std::optional<UsageError> {
        if (!parser.isSet(option))
            return std::nullopt;
        return UsageError{usage(
            QStringLiteral("'%1' does not take --%2.").arg(command, option.names().constFirst()))};
    };
    QList<const QCommandLineOption *> notTaken;
    switch (invocation.command) {
    case Command::Ports:
        notTaken = {&port, &ini, &from, &values, &set, &verify, &retries, &log};
        break;
    case Command::Read:
        notTaken = {&from, &values, &set, &verify};
        break;
    case Command::Write:
        notTaken = {&ini};
        break;
    }
    for (const QCommandLineOption *option : notTaken) {
        if (std::optional<UsageError> error = refuseFor(*option))
            return *error;
    }

    invocation.ports = parser.values(port);
    for (const QString& p : std::as_const(invocation.ports)) {
        if (p.trimmed().isEmpty())
            return UsageError{usage(QStringLiteral("--port needs a port name."))};
    }
    if (parser.isSet(json) && parser.isSet(ini))
        return UsageError{usage(QStringLiteral("--json and --ini exclude each other."))};
    if (parser.isSet(json))
        invocation.format = Format::Json;
    if (parser.isSet(ini))
        invocation.format = Format::Ini;
    invocation.verify = parser.isSet(verify);
    invocation.logFile = parser.value(log);

    if (parser.isSet(retries)) {
        bool ok = false;
        invocation.retries = parser.value(retries).toInt(&ok);
        if (!ok || invocation.retries < 0 || invocation.retries > 100)
            return UsageError{usage(QStringLiteral("--retries takes a number from 0 to 100."))};
    }

    if (invocation.command != Command::Write)
        return invocation;

    if (invocation.ports.isEmpty())
        return UsageError{usage(QStringLiteral("write needs at least one --port."))};
    const int sources =
        int(parser.isSet(from)) + int(parser.isSet(values)) + int(parser.isSet(set));
    if (sources != 1)
        return UsageError{
            usage(QStringLiteral("write needs exactly one of --from, --values and --set."))};

    if (parser.isSet(from)) {
        if (parser.values(from).size() > 1)
            return UsageError{usage(QStringLiteral("--from is given once."))};
        invocation.source = ValueSource::File;
        invocation.fromFile = parser.value(from);
    } else if (parser.isSet(values)) {
        if (parser.values(values).size() > 1)
            return UsageError{usage(QStringLiteral("--values is given once."))};
        // A value cannot hold a comma, so six values always stand between five commas.
        const QStringList list = parser.value(values).split(u',');
        if (list.size() != DialerSettings::FieldCount)
            return UsageError{usage(QStringLiteral("--values needs six values separated by "
                                                   "commas; this list has %1.")
                                        .arg(list.size()))};
        invocation.source = ValueSource::List;
        for (int i = 0; i < DialerSettings::FieldCount; ++i)
            invocation.values[i] = withoutLeadingBlanks(list.at(i));
    } else {
        invocation.source = ValueSource::Set;
        for (const QString& assignment : parser.values(set)) {
            const qsizetype equals = assignment.indexOf(u'=');
            const std::optional<int> field =
                equals < 0 ? std::nullopt : fieldByName(QStringView(assignment).first(equals));
            if (!field)
                return UsageError{usage(QStringLiteral("--set takes FIELD=VALUE with FIELD one of "
                                                       "phone1 ... phone5 and free, not '%1'.")
                                            .arg(assignment))};
            for (const FieldChange& earlier : std::as_const(invocation.changes)) {
                if (earlier.field == *field)
                    return UsageError{
                        usage(QStringLiteral("--set names %1 twice.").arg(fieldName(*field)))};
            }
            invocation.changes.append(
                {*field, withoutLeadingBlanks(assignment.sliced(equals + 1))});
        }
    }
    return invocation;
}

} // namespace dialerctl
