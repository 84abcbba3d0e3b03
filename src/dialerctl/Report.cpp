// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Report.h"

#include "Console.h"
#include "Json.h"
#include "settings/SettingsFormat.h"
#include "text/AnsiText.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace dialerctl {

namespace {

// A cell as a terminal may show it: control characters (a dialer may send any byte) are escaped,
// never passed to the terminal raw. In the values a dialer sent, a backslash is doubled so that
// nothing reads as an escape; names and messages keep theirs, as in a Windows device path.
enum class Backslash { Doubled, Kept };
QString printable(const QString& text, Backslash backslash = Backslash::Kept) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\' && backslash == Backslash::Doubled)
            shown += QStringLiteral("\\\\");
        else if (u == u'\r')
            shown += QStringLiteral("\\r");
        else if (u == u'\n')
            shown += QStringLiteral("\\n");
        else if (u == u'\t')
            shown += QStringLiteral("\\t");
        else if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

// The six values in a table cell: a value whose end is blank is quoted, so the blanks show.
QString shownValues(const DialerSettings& settings) {
    QStringList list;
    for (int i = 0; i < DialerSettings::FieldCount; ++i) {
        const QString value = printable(settings[i], Backslash::Doubled);
        list << (value.endsWith(u' ') ? u'"' + value + u'"' : value);
    }
    return list.join(u',');
}

// Message box texts break their lines with CR LF; a table cell keeps to one line.
QString oneLine(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(u'\n', u' ');
}

QByteArray table(const QList<QStringList>& rows) {
    QList<qsizetype> widths;
    for (const QStringList& row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (widths.size() <= c)
                widths << 0;
            widths[c] = std::max(widths[c], row[c].size());
        }
    }
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c].leftJustified(widths[c] + 2) : row[c];
        text += line.trimmed() + u'\n';
    }
    return text.toUtf8();
}

QString valuesCell(const PortResult& r) {
    if (r.outcome == PortOutcome::Mismatch)
        return QStringLiteral("%1 (written %2)")
            .arg(shownValues(*r.valuesRead), shownValues(*r.written));
    if (!r.success)
        return printable(oneLine(r.message));
    if (r.outcome == PortOutcome::Saved)
        return shownValues(*r.written);
    if (r.outcome == PortOutcome::WouldChange)
        return QStringLiteral("%1 (would write %2)")
            .arg(shownValues(*r.before), shownValues(*r.after));
    return shownValues(*r.valuesRead);
}

QJsonObject document(const QString& command) {
    return {{QStringLiteral("schema"), JsonSchema}, {QStringLiteral("command"), command}};
}

QByteArray resultsTable(const QList<PortResult>& results) {
    QList<QStringList> rows{{QStringLiteral("PORT"), QStringLiteral("DEVICE"),
                             QStringLiteral("OUTCOME"), QStringLiteral("VALUES")}};
    for (const PortResult& r : results)
        rows << QStringList{printable(r.target.port), printable(r.target.device), name(r.outcome),
                            valuesCell(r)};
    return table(rows);
}

QByteArray resultsJson(const QList<PortResult>& results, const QString& command) {
    QJsonArray array;
    for (const PortResult& r : results) {
        QJsonObject object{{QStringLiteral("port"), r.target.port},
                           {QStringLiteral("device"), r.target.device},
                           {QStringLiteral("outcome"), name(r.outcome)},
                           {QStringLiteral("message"), r.message},
                           {QStringLiteral("reason"), orNull(name(r.reason))},
                           {QStringLiteral("before"), jsonValuesOrNull(r.before)},
                           {QStringLiteral("after"), jsonValuesOrNull(r.after)},
                           {QStringLiteral("changed"), r.changed},
                           {QStringLiteral("save_sent"), r.saveSent},
                           {QStringLiteral("adapter"), jsonAdapter(r.adapter)}};
        if (r.valuesRead)
            object.insert(QStringLiteral("values"), jsonValues(*r.valuesRead));
        if (r.written)
            object.insert(QStringLiteral("written"), jsonValues(*r.written));
        if (!r.backupFile.isEmpty())
            object.insert(QStringLiteral("backup"), r.backupFile);
        array.append(object);
    }
    QJsonObject top = document(command);
    top.insert(QStringLiteral("ports"), array);
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}

QByteArray errorJson(const QString& command, const QString& reason, const QString& message) {
    QJsonObject top = document(command);
    top.insert(QStringLiteral("error"), QJsonObject{{QStringLiteral("reason"), reason},
                                                    {QStringLiteral("message"), message}});
    top.insert(QStringLiteral("ports"), QJsonArray());
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}

QByteArray portsTable(const QList<PortState>& ports) {
    QList<QStringList> rows{{QStringLiteral("PORT"), QStringLiteral("DEVICE"),
                             QStringLiteral("STATE"), QStringLiteral("ADAPTER")}};
    for (const PortState& p : ports) {
        QString state = p.state;
        if (!p.group.isEmpty())
            state += QStringLiteral(" (join group %1)").arg(p.group);
        else if (p.state == u"denied")
            state += QStringLiteral(" (ask the administrator for access)");
        const PortMap::Adapter& a = p.adapter;
        QStringList adapter;
        for (const QString& part : {a.description, a.manufacturer}) {
            if (!part.isEmpty())
                adapter << part;
        }
        if (!a.serialNumber.isEmpty())
            adapter << QStringLiteral("serial %1").arg(a.serialNumber);
        if (a.vendorId && a.productId)
            adapter << QStringLiteral("%1:%2").arg(hexId(a.vendorId).toString(),
                                                   hexId(a.productId).toString());
        rows << QStringList{p.target.port, p.target.device, state,
                            adapter.join(QStringLiteral(", "))};
    }
    return table(rows);
}

QByteArray portsJson(const QList<PortState>& ports) {
    QJsonArray array;
    for (const PortState& p : ports)
        array.append(QJsonObject{{QStringLiteral("port"), p.target.port},
                                 {QStringLiteral("device"), p.target.device},
                                 {QStringLiteral("state"), p.state},
                                 {QStringLiteral("reason"), orNull(p.reason)},
                                 {QStringLiteral("group"), orNull(p.group)},
                                 {QStringLiteral("adapter"), jsonAdapter(p.adapter)}});
    QJsonObject top = document(QStringLiteral("ports"));
    top.insert(QStringLiteral("ports"), array);
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}

// What a command prints on stdout is its result: a pipe closed early or a full disk under
// `> file` is a failure of the run, never a silent one.
int printResult(const QByteArray& bytes, int status, Bytes kind = Bytes::Utf8Text) {
    if (writeOut(stdout, bytes, kind))
        return status;
    writeOut(stderr, QStringLiteral("dialerctl: the output could not be written: %1.\n")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)))
                         .toUtf8());
    return status == ExitStatus::Success ? ExitStatus::PortFailed : status;
}

// Exactly the line Exit writes to Velkor.ini: windows-1251 and CR LF; nothing for a port that
// failed.
int printSettingsLine(const PortResult& result, int status) {
    if (!result.success) {
        writeOut(stderr, QStringLiteral("dialerctl: %1: %2\n")
                             .arg(result.target.port, name(result.outcome))
                             .toUtf8());
        return status;
    }
    const std::optional<QByteArray> line =
        AnsiText::encode(SettingsFormat::formatLine(*result.valuesRead));
    setBinary(stdout);
    return printResult(line.value_or(QByteArray()), status, Bytes::Raw);
}

} // namespace

int reportEarly(Early early) {
    const QString text =
        early == Early::Help
            ? helpText()
            : QStringLiteral("dialerctl %1\n").arg(QCoreApplication::applicationVersion());
    return printResult(text.toUtf8(), ExitStatus::Success);
}

int reportFailure(const RunFailure& failure, bool json, const QString& command) {
    writeOut(stderr, QStringLiteral("dialerctl: %1\n").arg(failure.text).toUtf8());
    if (json)
        (void)writeOut(stdout, errorJson(command, failure.reason, failure.text));
    return failure.status;
}

int reportPorts(const Invocation& invocation, const QList<PortState>& ports) {
    return printResult(invocation.format == Format::Json ? portsJson(ports) : portsTable(ports),
                       ExitStatus::Success);
}

int reportResults(const Invocation& invocation, const QList<PortResult>& results, int status) {
    switch (invocation.format) {
    case Format::Table:
        return printResult(resultsTable(results), status);
    case Format::Json:
        return printResult(resultsJson(results, commandName(invocation.command)), status);
    case Format::Ini:
        return printSettingsLine(results.front(), status);
    }
    return status;
}

} // namespace dialerctl
