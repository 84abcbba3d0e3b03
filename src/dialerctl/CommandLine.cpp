// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "CommandLine.h"

#include "Json.h"

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

// Six comma-separated values, as --values takes them.
std::optional<UsageError> takeValueList(Invocation& invocation, const QString& text,
                                        const QString& origin) {
    // A value cannot hold a comma, so six values always stand between five commas.
    const QStringList list = text.split(u',');
    if (list.size() != DialerSettings::FieldCount)
        return UsageError{usage(QStringLiteral("%1 needs six values separated by commas; this list "
                                               "has %2.")
                                    .arg(origin)
                                    .arg(list.size()))};
    invocation.source = ValueSource::List;
    for (int i = 0; i < DialerSettings::FieldCount; ++i)
        invocation.values[i] = withoutLeadingBlanks(list.at(i));
    return std::nullopt;
}

// FIELD=VALUE assignments, as --set takes them.
std::optional<UsageError> takeAssignments(Invocation& invocation, const QStringList& assignments) {
    invocation.source = ValueSource::Set;
    for (const QString& assignment : assignments) {
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
        invocation.changes.append({*field, withoutLeadingBlanks(assignment.sliced(equals + 1))});
    }
    return std::nullopt;
}

} // namespace

QString commandName(Command command) {
    switch (command) {
    case Command::Ports:
        return QStringLiteral("ports");
    case Command::Read:
        return QStringLiteral("read");
    case Command::Write:
        return QStringLiteral("write");
    case Command::Apply:
        return QStringLiteral("apply");
    }
    return {};
}

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
        "  dialerctl apply --port P [--port P]... (--from FILE | --values LIST | "
        "--set FIELD=VALUE...)\n"
        "                  [--check] [--backup FILE] [--json] [--retries N] [--log FILE]\n"
        "  dialerctl --help | --version\n"
        "\n"
        "  read, write and apply also take [--expect-serial SERIAL] [--wait-busy SECONDS],\n"
        "  and every command [--port-map FILE] [--schema N].\n"
        "\n"
        "Reads, writes and verifies GSM dialers on serial ports, all selected ports at once.\n"
        "\n"
        "  --port P          COM1 ... COM9 (as the window numbers them, port map included),\n"
        "                    a device path, or 'all' (every port that opens now); repeatable.\n"
        "                    read without --port reads all.\n"
        "  --json            one JSON document on stdout: its schema, the command and\n"
        "                    one object per port under \"ports\"\n"
        "  --ini             (read, one port) the settings-file line, as Exit writes Velkor.ini\n"
        "  --from FILE       write the six values of a settings file (Velkor.ini format)\n"
        "  --values LIST     write six comma-separated values: '111,222,333,444,555,*123#'\n"
        "  --set FIELD=VALUE read each dialer, change FIELD (phone1 ... phone5, free) and write\n"
        "                    its own six values back; repeatable\n"
        "                    --values - and --set - read them from standard input instead\n"
        "                    (one line of six values; one FIELD=VALUE a line)\n"
        "  --verify          read back after a write; the port is verified if all six match\n"
        "  --check           (apply) read and compare only: would-change or unchanged\n"
        "  --backup FILE     (apply, one port) keep the values read before a change in FILE,\n"
        "                    as Exit writes Velkor.ini; nothing is written if it cannot be kept\n"
        "  --expect-serial S touch no port whose adapter's serial number is not S\n"
        "  --port-map FILE   number the ports by this map instead of the user's own\n"
        "  --wait-busy SECONDS  wait up to this long for a port another program holds\n"
        "  --schema N        run only if the JSON documents are of schema N (this one's are\n"
        "                    of schema 2); otherwise refuse, sending nothing\n"
        "  --retries N       try an exchange without an answer, or with a reply not\n"
        "                    understood, up to N more times (default 0)\n"
        "  --log FILE        append one JSON line per port and command to FILE\n"
        "\n"
        "apply reads each dialer and writes, reads back and verifies only where its values\n"
        "differ from the wanted ones: unchanged, changed, would-change (--check) or mismatch.\n"
        "\n"
        "Exit status: 0 every port succeeded, 1 at least one port failed, 2 usage or input\n"
        "error (nothing was sent).\n");
}

namespace {

// The options, read in one pass; each part of the invocation is taken from them in turn.
class Options {
public:
    Options() {
        m_parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
        m_parser.addOptions({help, version, port, json, ini, from, values, set, verify, retries,
                             log, check, backup, expectSerial, portMap, waitBusy, schema});
    }

    bool parse(const QStringList& arguments) {
        // QCommandLineParser wants the program's name first.
        return m_parser.parse(QStringList{QStringLiteral("dialerctl")} + arguments);
    }
    [[nodiscard]] QString errorText() const { return m_parser.errorText(); }
    [[nodiscard]] bool isSet(const QCommandLineOption& option) const {
        return m_parser.isSet(option);
    }
    [[nodiscard]] QStringList positional() const { return m_parser.positionalArguments(); }
    [[nodiscard]] QString value(const QCommandLineOption& option) const {
        return m_parser.value(option);
    }
    [[nodiscard]] QStringList valuesOf(const QCommandLineOption& option) const {
        return m_parser.values(option);
    }

    std::optional<UsageError> refuseOptionsNotTaken(Command command, const QString& name) const;
    std::optional<UsageError> takeCommon(Invocation& invocation) const;
    std::optional<UsageError> takeValueSource(Invocation& invocation, const QString& name) const;

    const QCommandLineOption help{QStringList{QStringLiteral("help"), QStringLiteral("h")}};
    const QCommandLineOption version{QStringLiteral("version")};
    const QCommandLineOption port{QStringLiteral("port"), {}, QStringLiteral("P")};
    const QCommandLineOption json{QStringLiteral("json")};
    const QCommandLineOption ini{QStringLiteral("ini")};
    const QCommandLineOption from{QStringLiteral("from"), {}, QStringLiteral("FILE")};
    const QCommandLineOption values{QStringLiteral("values"), {}, QStringLiteral("LIST")};
    const QCommandLineOption set{QStringLiteral("set"), {}, QStringLiteral("FIELD=VALUE")};
    const QCommandLineOption verify{QStringLiteral("verify")};
    const QCommandLineOption retries{QStringLiteral("retries"), {}, QStringLiteral("N")};
    const QCommandLineOption log{QStringLiteral("log"), {}, QStringLiteral("FILE")};
    const QCommandLineOption check{QStringLiteral("check")};
    const QCommandLineOption backup{QStringLiteral("backup"), {}, QStringLiteral("FILE")};
    const QCommandLineOption expectSerial{
        QStringLiteral("expect-serial"), {}, QStringLiteral("SERIAL")};
    const QCommandLineOption portMap{QStringLiteral("port-map"), {}, QStringLiteral("FILE")};
    const QCommandLineOption waitBusy{QStringLiteral("wait-busy"), {}, QStringLiteral("SECONDS")};
    const QCommandLineOption schema{QStringLiteral("schema"), {}, QStringLiteral("N")};

private:
    QCommandLineParser m_parser;
};

std::optional<Command> commandNamed(QStringView name) {
    for (const Command command : {Command::Ports, Command::Read, Command::Write, Command::Apply}) {
        if (name == commandName(command))
            return command;
    }
    return std::nullopt;
}

// Which options each command takes.
std::optional<UsageError> Options::refuseOptionsNotTaken(Command command,
                                                         const QString& name) const {
    QList<const QCommandLineOption *> notTaken;
    switch (command) {
    case Command::Ports:
        notTaken = {&port,    &ini, &from,  &values, &set,          &verify,
                    &retries, &log, &check, &backup, &expectSerial, &waitBusy};
        break;
    case Command::Read:
        notTaken = {&from, &values, &set, &verify, &check, &backup};
        break;
    case Command::Write:
        notTaken = {&ini, &check, &backup};
        break;
    case Command::Apply:
        // apply always reads back what it wrote.
        notTaken = {&ini, &verify};
        break;
    }
    for (const QCommandLineOption *option : std::as_const(notTaken)) {
        if (isSet(*option))
            return UsageError{usage(QStringLiteral("'%1' does not take --%2.")
                                        .arg(name, option->names().constFirst()))};
    }
    return std::nullopt;
}

// The options every command that takes them reads the same way.
std::optional<UsageError> Options::takeCommon(Invocation& invocation) const {
    invocation.ports = valuesOf(port);
    for (const QString& p : std::as_const(invocation.ports)) {
        if (p.trimmed().isEmpty())
            return UsageError{usage(QStringLiteral("--port needs a port name."))};
    }
    if (isSet(json) && isSet(ini))
        return UsageError{usage(QStringLiteral("--json and --ini exclude each other."))};
    if (isSet(ini))
        invocation.format = Format::Ini;
    invocation.verify = isSet(verify) || invocation.command == Command::Apply;
    invocation.check = isSet(check);
    invocation.logFile = value(log);
    invocation.backupFile = value(backup);
    invocation.portMapFile = value(portMap);
    // A guard left empty (a template variable that rendered empty) never switches itself off.
    for (const QCommandLineOption *file : {&portMap, &log, &backup}) {
        if (isSet(*file) && value(*file).isEmpty())
            return UsageError{
                usage(QStringLiteral("--%1 needs a file.").arg(file->names().constFirst()))};
    }
    if (isSet(expectSerial)) {
        invocation.expectSerial = value(expectSerial).trimmed();
        if (invocation.expectSerial->isEmpty())
            return UsageError{usage(QStringLiteral("--expect-serial needs a serial number."))};
    }
    // A caller that reads one version of the documents learns of another before anything is
    // sent, whichever side is older.
    if (isSet(schema) && value(schema) != QString::number(JsonSchema)) {
        UsageError other{usage(QStringLiteral("--schema %1: this dialerctl prints documents of "
                                              "schema %2. Nothing was sent.")
                                   .arg(value(schema))
                                   .arg(JsonSchema))};
        other.reason = QStringLiteral("schema");
        return other;
    }
    if (isSet(waitBusy)) {
        bool ok = false;
        const double seconds = value(waitBusy).toDouble(&ok);
        if (!ok || !(seconds >= 0 && seconds <= 3600))
            return UsageError{
                usage(QStringLiteral("--wait-busy takes a number of seconds from 0 to 3600."))};
        invocation.waitBusyMs = int(seconds * 1000);
    }
    if (isSet(retries)) {
        bool ok = false;
        invocation.retries = value(retries).toInt(&ok);
        if (!ok || invocation.retries < 0 || invocation.retries > 100)
            return UsageError{usage(QStringLiteral("--retries takes a number from 0 to 100."))};
    }
    return std::nullopt;
}

// Where the values of a write or an apply come from: exactly one of --from, --values and --set.
std::optional<UsageError> Options::takeValueSource(Invocation& invocation,
                                                   const QString& name) const {
    if (invocation.ports.isEmpty())
        return UsageError{usage(QStringLiteral("%1 needs at least one --port.").arg(name))};
    if (!invocation.backupFile.isEmpty() && invocation.ports.size() != 1)
        return UsageError{usage(QStringLiteral("--backup keeps one dialer's values, so it needs "
                                               "exactly one --port."))};
    if (int(isSet(from)) + int(isSet(values)) + int(isSet(set)) != 1)
        return UsageError{
            usage(QStringLiteral("%1 needs exactly one of --from, --values and --set.").arg(name))};
    if (isSet(from)) {
        if (valuesOf(from).size() > 1)
            return UsageError{usage(QStringLiteral("--from is given once."))};
        invocation.source = ValueSource::File;
        invocation.fromFile = value(from);
        return std::nullopt;
    }
    if (isSet(values)) {
        if (valuesOf(values).size() > 1)
            return UsageError{usage(QStringLiteral("--values is given once."))};
        if (value(values) != QLatin1String(StandardInput))
            return takeValueList(invocation, value(values), QStringLiteral("--values"));
        invocation.source = ValueSource::List;
        invocation.fromStdin = true;
        return std::nullopt;
    }
    const QStringList assignments = valuesOf(set);
    if (!assignments.contains(QLatin1String(StandardInput)))
        return takeAssignments(invocation, assignments);
    if (assignments.size() > 1)
        return UsageError{usage(QStringLiteral("--set - takes every field from standard input, "
                                               "and no other --set."))};
    invocation.source = ValueSource::Set;
    invocation.fromStdin = true;
    return std::nullopt;
}

// Whether the arguments ask for JSON, so that a usage error is told in it as well, and the
// command they name, if any.
void noteFormat(const QStringList& arguments, UsageError& error) {
    for (const QString& argument : arguments) {
        if (argument == u"--")
            break;
        if (argument == u"--json")
            error.json = true;
        else if (error.command.isEmpty() && !argument.startsWith(u'-'))
            error.command = argument;
    }
}

ParseResult readArguments(const QStringList& arguments) {
    Options options;
    if (!options.parse(arguments))
        return UsageError{usage(options.errorText())};
    if (options.isSet(options.help))
        return Early::Help;
    if (options.isSet(options.version))
        return Early::Version;

    const QStringList positional = options.positional();
    if (positional.isEmpty())
        return UsageError{usage(QStringLiteral("No command given: ports, read, write or apply."))};
    if (positional.size() > 1)
        return UsageError{usage(QStringLiteral("Unexpected argument '%1'.").arg(positional.at(1)))};
    const QString& name = positional.front();
    const std::optional<Command> command = commandNamed(name);
    if (!command)
        return UsageError{usage(QStringLiteral("Unknown command '%1'.").arg(name))};

    Invocation invocation;
    invocation.command = *command;
    if (options.isSet(options.json))
        invocation.format = Format::Json;
    std::optional<UsageError> error = options.refuseOptionsNotTaken(*command, name);
    if (!error)
        error = options.takeCommon(invocation);
    if (!error && (*command == Command::Write || *command == Command::Apply))
        error = options.takeValueSource(invocation, name);
    if (error)
        return *error;
    return invocation;
}

} // namespace

ParseResult parseCommandLine(const QStringList& arguments) {
    ParseResult parsed = readArguments(arguments);
    if (auto *error = std::get_if<UsageError>(&parsed))
        noteFormat(arguments, *error);
    return parsed;
}

std::optional<UsageError> takeStandardInput(Invocation& invocation, const QString& text) {
    QStringList lines = text.split(u'\n');
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    if (invocation.source == ValueSource::List) {
        if (lines.size() != 1)
            return UsageError{usage(QStringLiteral("--values - takes one line of six values on "
                                                   "standard input; it has %1.")
                                        .arg(lines.size()))};
        return takeValueList(invocation, lines.front(), QStringLiteral("--values -"));
    }
    if (lines.isEmpty())
        return UsageError{
            usage(QStringLiteral("--set - takes at least one FIELD=VALUE on standard input."))};
    return takeAssignments(invocation, lines);
}

} // namespace dialerctl
