// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Plan.h"

#include "device/DialerProtocol.h"
#include "settings/SettingsFormat.h"
#include "text/SystemText.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <cstdio>

namespace dialerctl {

namespace {

RunFailure inputError(const QString& text) {
    return {QStringLiteral("input"), text, ExitStatus::UsageOrInput};
}

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
    switch (DialerProtocol::whyUnsendable(value)) {
    case DialerProtocol::Unsendable::No:
        break;
    case DialerProtocol::Unsendable::Separator:
        return QStringLiteral("it holds a comma, which separates the dialer's fields");
    case DialerProtocol::Unsendable::LineBreak:
        return QStringLiteral("it holds a line break, which ends the dialer's command");
    case DialerProtocol::Unsendable::OutsideCodePage:
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

} // namespace

std::variant<Inputs, RunFailure> readInputs(const Invocation& invocation) {
    QString error;
    const std::optional<PortMap> map = portMapOf(invocation, &error);
    if (!map)
        return inputError(error);
    Invocation given = invocation;
    if (given.source == ValueSource::File) {
        const std::optional<DialerSettings> values = loadValues(given.fromFile, &error);
        if (!values)
            return inputError(error);
        given.values = *values;
    }
    if (given.fromStdin) {
        const std::optional<QString> text = readStandardInput(&error);
        if (!text)
            return inputError(error + QStringLiteral(" Nothing was sent."));
        if (const std::optional<UsageError> wrong = takeStandardInput(given, *text))
            return inputError(wrong->text);
    }
    if (const QString why = refusal(given); !why.isEmpty())
        return inputError(why + QStringLiteral(" Nothing was sent."));
    return Inputs{*map,
                  {given.command, given.source, given.values, given.changes, given.verify,
                   given.check, given.retries, given.waitBusyMs, given.expectSerial,
                   given.backupFile}};
}

std::variant<Plan, RunFailure> planRun(const Invocation& invocation, Inputs inputs) {
    Plan plan;
    plan.targets = selectPorts(invocation.ports, inputs.map);
    plan.job = std::move(inputs.job);
    const qsizetype count = plan.targets.size();
    if (invocation.format == Format::Ini && count != 1)
        return inputError(
            QStringLiteral("--ini writes one settings file, so it needs exactly one port; %1 "
                           "selected.")
                .arg(count));
    if (!invocation.backupFile.isEmpty() && count > 1)
        return inputError(QStringLiteral("--backup keeps one dialer's values, and --port %1 "
                                         "names %2 ports. Nothing was sent.")
                              .arg(invocation.ports.join(QStringLiteral(" --port ")))
                              .arg(count));
    if (plan.targets.isEmpty())
        return RunFailure{QStringLiteral("no-port"), QStringLiteral("no serial port opens now."),
                          ExitStatus::PortFailed};
    if (!invocation.logFile.isEmpty()) {
        plan.log = std::make_unique<ExchangeLog>();
        if (!plan.log->open(invocation.logFile))
            return inputError(QStringLiteral("--log %1: %2.")
                                  .arg(QDir::toNativeSeparators(invocation.logFile),
                                       SystemText::withoutFullStop(plan.log->errorString())));
    }
    return plan;
}

} // namespace dialerctl
