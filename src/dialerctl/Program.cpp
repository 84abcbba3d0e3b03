// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Program.h"

#include "CommandLine.h"
#include "Output.h"
#include "PortJob.h"
#include "Targets.h"
#include "device/DeviceMessages.h"
#include "settings/SettingsFormat.h"
#include "settings/SettingsStore.h"
#include "text/AnsiText.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <memory>
#include <vector>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

namespace dialerctl {

namespace {

constexpr int Success = 0;
constexpr int PortFailed = 1;
constexpr int UsageOrInput = 2;

void print(std::FILE *stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

int inputError(const QString& text) {
    print(stderr, QStringLiteral("dialerctl: %1\n").arg(text).toUtf8());
    return UsageOrInput;
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

// The six values of a settings file, read by the window's loader; only a whole file will do.
std::optional<DialerSettings> loadValues(const QString& path, QString *error) {
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("--from %1: no such file.").arg(path);
        return std::nullopt;
    }
    const SettingsLoadResult loaded = SettingsStore(path).Load();
    switch (loaded.report.problem) {
    case SettingsProblem::None:
        return loaded.settings;
    case SettingsProblem::CannotOpen:
        *error = QStringLiteral("--from %1: cannot be read: %2.").arg(path, loaded.report.detail);
        break;
    case SettingsProblem::EndsEarly:
    case SettingsProblem::TooLarge:
        *error = QStringLiteral("--from %1: only %2 of the six values could be read.")
                     .arg(path)
                     .arg(loaded.report.field);
        break;
    default:
        *error = QStringLiteral("--from %1: cannot be read.").arg(path);
        break;
    }
    return std::nullopt;
}

int listPortsCommand(const Invocation& invocation, const PortMap& map) {
    const QList<PortState> ports = listPorts(map);
    print(stdout, invocation.format == Format::Json ? portsJson(ports) : portsTable(ports));
    return Success;
}

} // namespace

int run(const QStringList& arguments) {
    const ParseResult parsed = parseCommandLine(arguments);
    if (const auto *early = std::get_if<Early>(&parsed)) {
        print(stdout,
              (*early == Early::Help
                   ? helpText()
                   : QStringLiteral("dialerctl %1\n").arg(QCoreApplication::applicationVersion()))
                  .toUtf8());
        return Success;
    }
    if (const auto *error = std::get_if<UsageError>(&parsed))
        return inputError(error->text);
    Invocation invocation = std::get<Invocation>(parsed);

    const PortMap map = PortMap::fromSystem();
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
    if (const QString why = refusal(invocation); !why.isEmpty())
        return inputError(why + QStringLiteral(" Nothing was sent."));
    ExchangeLog log;
    if (!invocation.logFile.isEmpty() && !log.open(invocation.logFile))
        return inputError(
            QStringLiteral("--log %1: %2.").arg(invocation.logFile, log.errorString()));

    const QList<Target> targets = selectPorts(invocation.ports, map);
    if (invocation.format == Format::Ini && targets.size() != 1)
        return inputError(
            QStringLiteral("--ini writes one settings file, so it needs exactly one port; %1 "
                           "selected.")
                .arg(targets.size()));
    if (targets.isEmpty()) {
        print(stderr, QByteArrayLiteral("dialerctl: no serial port opens now.\n"));
        return PortFailed;
    }

    QHash<QString, QString> serialNumbers;
    if (!invocation.logFile.isEmpty()) {
        for (const Target& target : targets)
            serialNumbers.insert(target.port, serialNumberOf(target.device));
    }

    const Plan plan{invocation.command, invocation.source, invocation.values,
                    invocation.changes, invocation.verify, invocation.retries};
    StatusLines lines(stderr, targets);
    std::vector<std::unique_ptr<PortJob>> jobs;
    qsizetype running = targets.size();
    for (qsizetype i = 0; i < targets.size(); ++i) {
        auto job = std::make_unique<PortJob>(targets[i], plan);
        QObject::connect(job.get(), &PortJob::status,
                         [&lines, i](const QString& status) { lines.update(i, status); });
        if (!invocation.logFile.isEmpty())
            QObject::connect(job.get(), &PortJob::exchanged,
                             [&log, &serialNumbers](const ExchangeRecord& record) {
                                 log.append(record, serialNumbers.value(record.target.port));
                             });
        QObject::connect(job.get(), &PortJob::finished, [&running] {
            if (--running == 0)
                QCoreApplication::quit();
        });
        jobs.push_back(std::move(job));
    }
    // All at once: each job opens its port and writes its command straight away.
    for (const auto& job : jobs)
        job->start();
    if (running > 0)
        QCoreApplication::exec();

    QList<PortResult> results;
    bool allSucceeded = true;
    for (const auto& job : jobs) {
        results << job->result();
        allSucceeded = allSucceeded && job->result().success;
    }

    switch (invocation.format) {
    case Format::Table:
        print(stdout, resultsTable(results));
        break;
    case Format::Json:
        print(stdout, resultsJson(results));
        break;
    case Format::Ini: {
        const PortResult& result = results.front();
        if (!result.success) {
            print(stderr, QStringLiteral("dialerctl: %1: %2\n")
                              .arg(result.target.port, result.outcome)
                              .toUtf8());
            break;
        }
        // Exactly the line Exit writes to Velkor.ini: windows-1251 and CR LF.
        const std::optional<QByteArray> line =
            AnsiText::encode(SettingsFormat::formatLine(*result.valuesRead));
#ifdef Q_OS_WIN
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        print(stdout, line.value_or(QByteArray()));
        break;
    }
    }
    return allSucceeded ? Success : PortFailed;
}

} // namespace dialerctl
