// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Program.h"

#include "CommandLine.h"
#include "Console.h"
#include "Output.h"
#include "PortJob.h"
#include "ProcessControl.h"
#include "Targets.h"
#include "device/DeviceMessages.h"
#include "settings/SettingsFormat.h"
#include "text/AnsiText.h"
#include "text/SystemText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace dialerctl {

namespace {

constexpr int Success = 0;
constexpr int PortFailed = 1;
constexpr int UsageOrInput = 2;

// What a command prints on stdout is its result: a pipe closed early or a full disk under
// `> file` is a failure of the run, never a silent one.
int printResult(const QByteArray& bytes, int status, Bytes kind = Bytes::Utf8Text) {
    if (writeOut(stdout, bytes, kind))
        return status;
    writeOut(stderr, QStringLiteral("dialerctl: the output could not be written: %1.\n")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)))
                         .toUtf8());
    return status == Success ? PortFailed : status;
}

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

// A run that fails as a whole says why on stderr and, when JSON was asked for, in the same
// document a run's results come in, so that a script reads one thing whatever happened.
struct RunFailure {
    bool json = false;
    QString command;

    int operator()(const QString& reason, const QString& text, int status) const {
        writeOut(stderr, QStringLiteral("dialerctl: %1\n").arg(text).toUtf8());
        if (json)
            (void)writeOut(stdout, errorJson(command, reason, text));
        return status;
    }
};

// What standard input holds for --values - or --set -: a few short lines at most.
std::optional<QString> readStandardInput(QString *error) {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        *error = QStringLiteral("standard input cannot be read: %1.")
                     .arg(SystemText::withoutFullStop(in.errorString()));
        return std::nullopt;
    }
    constexpr qint64 MaxBytes = qint64{64} * 1024;
    const QByteArray bytes = in.read(MaxBytes + 1);
    if (bytes.size() > MaxBytes) {
        *error = QStringLiteral("standard input holds more than a few values.");
        return std::nullopt;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        *error = QStringLiteral("standard input is not UTF-8 text.");
        return std::nullopt;
    }
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    return text;
}

// The port map of --port-map FILE, or the invoking user's own.
std::optional<PortMap> portMapOf(const Invocation& invocation, QString *error) {
    if (invocation.portMapFile.isEmpty())
        return PortMap::fromSystem();
    const QString path = QDir::toNativeSeparators(invocation.portMapFile);
    QFile file(invocation.portMapFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--port-map %1: cannot be read: %2.")
                     .arg(path, SystemText::withoutFullStop(file.errorString()));
        return std::nullopt;
    }
    const PortMap map = PortMap::fromMapText(QString::fromUtf8(file.read(qint64{64} * 1024)));
    if (map.isEmpty()) {
        *error = QStringLiteral("--port-map %1 names no port: it needs a [ports] section with "
                                "lines such as COM1=/dev/ttyUSB0.")
                     .arg(path);
        return std::nullopt;
    }
    return map;
}

// Why the line cannot carry a value, in plain words; empty when it can.
QString unsendable(const QString& value) {
    switch (DeviceMessages::whyUnsendable(value)) {
    case DeviceMessages::Unsendable::No:
        break;
    case DeviceMessages::Unsendable::Separator:
        return QStringLiteral("it holds a comma, which separates the dialer's fields");
    case DeviceMessages::Unsendable::LineBreak:
        return QStringLiteral("it holds a line break, which ends the dialer's command");
    case DeviceMessages::Unsendable::OutsideCodePage:
        return QStringLiteral("it holds a character that windows-1251 cannot carry");
    }
    return {};
}

// The values of a write, checked the way the window checks a save, or the reason to refuse.
QString refusal(const Invocation& invocation) {
    QList<std::pair<int, QString>> given;
    if (invocation.source == ValueSource::Set) {
        for (const FieldChange& change : invocation.changes)
            given.append({change.field, change.value});
    } else {
        for (int i = 0; i < DialerSettings::FieldCount; ++i)
            given.append({i, invocation.values[i]});
    }
    for (const auto& [field, value] : given) {
        if (const QString why = unsendable(value); !why.isEmpty())
            return QStringLiteral("value %1 (%2) cannot be sent: %3.")
                .arg(field + 1)
                .arg(fieldName(field), why);
    }
    return {};
}

// Why a settings file's text (read by the window's rule of encodings) is not exactly what the
// window's Exit writes, or nothing: six values, each in double quotes (a quote inside doubled),
// separated by commas, with no NUL character; only line breaks and blanks may follow. The window's
// loader takes more than this; a fleet's writes take nothing that might not mean what it seems to.
QString notStrict(QStringView text) {
    if (text.contains(u'\0'))
        return QStringLiteral("it holds NUL characters");
    qsizetype pos = 0;
    for (int field = 1; field <= DialerSettings::FieldCount; ++field) {
        if (pos >= text.size())
            return QStringLiteral("it holds only %1 of the six values").arg(field - 1);
        if (text[pos] != u'"')
            return QStringLiteral("value %1 is not in double quotes").arg(field);
        for (++pos;; ++pos) {
            if (pos >= text.size())
                return QStringLiteral("value %1 has no closing quote").arg(field);
            if (text[pos] != u'"')
                continue;
            if (pos + 1 < text.size() && text[pos + 1] == u'"') {
                ++pos;
                continue;
            }
            break;
        }
        ++pos; // the closing quote
        if (field < DialerSettings::FieldCount) {
            if (pos >= text.size() || text[pos] != u',')
                return pos >= text.size() || text[pos] == u'\r' || text[pos] == u'\n'
                           ? QStringLiteral("it holds only %1 of the six values").arg(field)
                           : QStringLiteral("value %1 is followed by something other than a "
                                            "comma")
                                 .arg(field);
            ++pos;
        }
    }
    for (; pos < text.size(); ++pos) {
        if (!QStringView(u" \t\r\n").contains(text[pos]))
            return QStringLiteral("something follows the six values");
    }
    return {};
}

// The six values of a settings file, read once; only a whole, strict file will do.
std::optional<DialerSettings> loadValues(const QString& path, QString *error) {
    QFile file(path);
    if (!file.exists()) {
        *error = QStringLiteral("--from %1: no such file.").arg(QDir::toNativeSeparators(path));
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--from %1: cannot be read: %2.")
                     .arg(QDir::toNativeSeparators(path),
                          SystemText::withoutFullStop(file.errorString()));
        return std::nullopt;
    }
    // A settings file is one short line; anything near this size is not one.
    constexpr qint64 MaxBytes = qint64{64} * 1024;
    const QByteArray bytes = file.read(MaxBytes + 1);
    if (bytes.size() > MaxBytes || file.error() != QFileDevice::NoError) {
        *error =
            QStringLiteral("--from %1: cannot be read: %2.")
                .arg(QDir::toNativeSeparators(path),
                     bytes.size() > MaxBytes ? QStringLiteral("too large")
                                             : SystemText::withoutFullStop(file.errorString()));
        return std::nullopt;
    }
    // The one reading rule of settings files, as the window reads them.
    const QString text = SettingsFormat::decodeFile(bytes);
    if (const QString why = notStrict(text); !why.isEmpty()) {
        *error = QStringLiteral("--from %1: %2. Nothing was sent.")
                     .arg(QDir::toNativeSeparators(path), why);
        return std::nullopt;
    }
    const SettingsFormat::ParseResult parsed = SettingsFormat::parse(text);
    if (parsed.fieldsRead < DialerSettings::FieldCount) {
        *error = QStringLiteral("--from %1: only %2 of the six values could be read.")
                     .arg(path)
                     .arg(parsed.fieldsRead);
        return std::nullopt;
    }
    return parsed.settings;
}

int listPortsCommand(const Invocation& invocation, const PortMap& map) {
    const QList<PortState> ports = listPorts(map);
    return printResult(invocation.format == Format::Json ? portsJson(ports) : portsTable(ports),
                       Success);
}

} // namespace

int run(const QStringList& arguments) {
    const ParseResult parsed = parseCommandLine(arguments);
    if (const auto *early = std::get_if<Early>(&parsed)) {
        return printResult(
            (*early == Early::Help
                 ? helpText()
                 : QStringLiteral("dialerctl %1\n").arg(QCoreApplication::applicationVersion()))
                .toUtf8(),
            Success);
    }
    if (const auto *error = std::get_if<UsageError>(&parsed)) {
        QString command;
        for (const QString& argument : arguments) {
            if (!argument.startsWith(u'-')) {
                command = argument;
                break;
            }
        }
        return RunFailure{asksForJson(arguments), command}(QStringLiteral("usage"), error->text,
                                                           UsageOrInput);
    }
    Invocation invocation = std::get<Invocation>(parsed);
    const RunFailure failure{invocation.format == Format::Json, commandName(invocation.command)};
    const auto inputError = [&failure](const QString& text) {
        return failure(QStringLiteral("input"), text, UsageOrInput);
    };

    QString mapError;
    const std::optional<PortMap> portMap = portMapOf(invocation, &mapError);
    if (!portMap)
        return inputError(mapError);
    const PortMap& map = *portMap;
    if (invocation.command == Command::Ports)
        return listPortsCommand(invocation, map);

    // Everything that can be refused is refused before any port is touched.
    if (invocation.source == ValueSource::File) {
        QString error;
        const std::optional<DialerSettings> values = loadValues(invocation.fromFile, &error);
        if (!values)
            return inputError(error);
        invocation.values = *values;
    }
    if (invocation.fromStdin) {
        QString error;
        const std::optional<QString> text = readStandardInput(&error);
        if (!text)
            return inputError(error + QStringLiteral(" Nothing was sent."));
        if (const std::optional<UsageError> wrong = takeStandardInput(invocation, *text))
            return inputError(wrong->text);
    }
    if (const QString why = refusal(invocation); !why.isEmpty())
        return inputError(why + QStringLiteral(" Nothing was sent."));
    // From here on a Ctrl-C, a SIGTERM or a dropped session ends the run in order.
    const Interruptions interruptions;
    const int portLimit = portsAtOnce();

    const QList<Target> targets = selectPorts(invocation.ports, map);
    if (invocation.format == Format::Ini && targets.size() != 1)
        return inputError(
            QStringLiteral("--ini writes one settings file, so it needs exactly one port; %1 "
                           "selected.")
                .arg(targets.size()));
    if (!invocation.backupFile.isEmpty() && targets.size() > 1)
        return inputError(QStringLiteral("--backup keeps one dialer's values, and --port %1 "
                                         "names %2 ports. Nothing was sent.")
                              .arg(invocation.ports.join(QStringLiteral(" --port ")))
                              .arg(targets.size()));
    if (targets.isEmpty())
        return failure(QStringLiteral("no-port"), QStringLiteral("no serial port opens now."),
                       PortFailed);
    // Opened only once the run is sure to go ahead: a refused run leaves no file behind.
    ExchangeLog log;
    if (!invocation.logFile.isEmpty() && !log.open(invocation.logFile))
        return inputError(QStringLiteral("--log %1: %2.")
                              .arg(QDir::toNativeSeparators(invocation.logFile),
                                   SystemText::withoutFullStop(log.errorString())));

    QHash<QString, QString> serialNumbers;
    if (!invocation.logFile.isEmpty()) {
        for (const Target& target : targets)
            serialNumbers.insert(target.port, serialNumberOf(target.device));
    }

    const Plan plan{invocation.command,   invocation.source,     invocation.values,
                    invocation.changes,   invocation.verify,     invocation.check,
                    invocation.retries,   invocation.waitBusyMs, invocation.expectSerial,
                    invocation.backupFile};
    StatusLines lines(stderr, targets);
    std::vector<std::unique_ptr<PortJob>> jobs;
    qsizetype running = 0;
    bool logFailed = false;
    std::size_t next = 0;
    // Each job opens its port and writes its command straight away; as many run side by side as
    // the process may hold ports open, and each one that ends makes room for the next.
    const auto startMore = [&] {
        const auto limit = portLimit > 0 ? qsizetype{portLimit} : qsizetype{targets.size()};
        while (next < jobs.size() && running < limit && !interruptions.arrived()) {
            ++running;
            jobs[next++]->start();
        }
        if (running == 0)
            QCoreApplication::quit();
    };
    for (qsizetype i = 0; i < targets.size(); ++i) {
        auto job = std::make_unique<PortJob>(targets[i], plan);
        QObject::connect(job.get(), &PortJob::status,
                         [&lines, i](const QString& status) { lines.update(i, status); });
        if (!invocation.logFile.isEmpty())
            QObject::connect(
                job.get(), &PortJob::exchanged,
                [&log, &serialNumbers, &logFailed](const ExchangeRecord& record) {
                    if (log.append(record, serialNumbers.value(record.target.port)))
                        return;
                    if (!logFailed)
                        writeOut(stderr, QStringLiteral("dialerctl: --log %1: a line "
                                                        "could not be written: %2.\n")
                                             .arg(QDir::toNativeSeparators(log.fileName()),
                                                  SystemText::withoutFullStop(log.errorString()))
                                             .toUtf8());
                    logFailed = true;
                });
        QObject::connect(job.get(), &PortJob::finished, job.get(),
                         [&running, &startMore, job = job.get()] {
                             if (job->isStarted())
                                 --running;
                             startMore();
                         });
        jobs.push_back(std::move(job));
    }
    QObject::connect(&interruptions, &Interruptions::interrupted, [&] {
        for (const auto& job : jobs)
            job->interrupt(interruptions.name());
        QCoreApplication::quit();
    });
    startMore();
    if (running > 0)
        QCoreApplication::exec();
    // A request that came before the loop ran, or while it was ending.
    if (interruptions.arrived()) {
        for (const auto& job : jobs)
            job->interrupt(interruptions.name());
    }

    QList<PortResult> results;
    bool allSucceeded = !logFailed;
    for (const auto& job : jobs) {
        results << job->result();
        allSucceeded = allSucceeded && job->result().success;
    }
    const int status = interruptions.arrived() ? interruptions.exitStatus()
                       : allSucceeded          ? Success
                                               : PortFailed;

    switch (invocation.format) {
    case Format::Table:
        return printResult(resultsTable(results), status);
    case Format::Json:
        return printResult(resultsJson(results, commandName(invocation.command)), status);
    case Format::Ini: {
        const PortResult& result = results.front();
        if (!result.success) {
            writeOut(stderr, QStringLiteral("dialerctl: %1: %2\n")
                                 .arg(result.target.port, result.outcome)
                                 .toUtf8());
            return status;
        }
        // Exactly the line Exit writes to Velkor.ini: windows-1251 and CR LF.
        const std::optional<QByteArray> line =
            AnsiText::encode(SettingsFormat::formatLine(*result.valuesRead));
        setBinary(stdout);
        return printResult(line.value_or(QByteArray()), status, Bytes::Raw);
    }
    }
    return status;
}

} // namespace dialerctl
