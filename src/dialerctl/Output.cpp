// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Output.h"

#include "Console.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace dialerctl {

namespace {

QJsonArray jsonValues(const DialerSettings& settings) {
    QJsonArray array;
    for (int i = 0; i < DialerSettings::FieldCount; ++i)
        array.append(settings[i]);
    return array;
}

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

QJsonValue orNull(const QString& text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonValue hexId(const std::optional<quint16>& id) {
    return id ? QJsonValue(QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0'))) : QJsonValue();
}

} // namespace

static QString valuesCell(const PortResult& r) {
    if (r.outcome == u"mismatch")
        return QStringLiteral("%1 (written %2)")
            .arg(shownValues(*r.valuesRead), shownValues(*r.written));
    if (!r.success)
        return printable(oneLine(r.message));
    if (r.outcome == u"saved")
        return shownValues(*r.written);
    if (r.outcome == u"would-change")
        return QStringLiteral("%1 (would write %2)")
            .arg(shownValues(*r.before), shownValues(*r.after));
    return shownValues(*r.valuesRead);
}

static QJsonValue jsonValuesOrNull(const std::optional<DialerSettings>& values) {
    return values ? QJsonValue(jsonValues(*values)) : QJsonValue();
}

static QJsonObject jsonAdapter(const PortMap::Adapter& a) {
    return {{QStringLiteral("serial"), orNull(a.serialNumber)},
            {QStringLiteral("vid"), hexId(a.vendorId)},
            {QStringLiteral("pid"), hexId(a.productId)},
            {QStringLiteral("by_id"), orNull(a.byId)},
            {QStringLiteral("description"), orNull(a.description)},
            {QStringLiteral("manufacturer"), orNull(a.manufacturer)}};
}

static QJsonObject document(const QString& command) {
    return {{QStringLiteral("schema"), JsonSchema}, {QStringLiteral("command"), command}};
}

QByteArray resultsTable(const QList<PortResult>& results) {
    QList<QStringList> rows{{QStringLiteral("PORT"), QStringLiteral("DEVICE"),
                             QStringLiteral("OUTCOME"), QStringLiteral("VALUES")}};
    for (const PortResult& r : results)
        rows << QStringList{printable(r.target.port), printable(r.target.device), r.outcome,
                            valuesCell(r)};
    return table(rows);
}

QByteArray resultsJson(const QList<PortResult>& results, const QString& command) {
    QJsonArray array;
    for (const PortResult& r : results) {
        QJsonObject object{{QStringLiteral("port"), r.target.port},
                           {QStringLiteral("device"), r.target.device},
                           {QStringLiteral("outcome"), r.outcome},
                           {QStringLiteral("message"), r.message},
                           {QStringLiteral("reason"), orNull(r.reason)},
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

bool ExchangeLog::open(const QString& path) {
    m_file.setFileName(path);
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    m_error = m_file.errorString();
    return false;
}

bool ExchangeLog::append(const ExchangeRecord& record, const QString& serialNumber) {
    QJsonObject object{{QStringLiteral("time"), record.at.toString(Qt::ISODateWithMs)},
                       {QStringLiteral("port"), record.target.port},
                       {QStringLiteral("device"), record.target.device},
                       {QStringLiteral("serial"), orNull(serialNumber)},
                       // The earlier name of the same key, kept for the scripts that read it until
                       // the next version.
                       {QStringLiteral("serialNumber"), orNull(serialNumber)},
                       {QStringLiteral("command"), record.command},
                       {QStringLiteral("attempt"), record.attempt},
                       {QStringLiteral("outcome"), record.outcome},
                       {QStringLiteral("values"), record.valuesRead
                                                      ? QJsonValue(jsonValues(*record.valuesRead))
                                                      : QJsonValue()},
                       {QStringLiteral("written"),
                        record.written ? QJsonValue(jsonValues(*record.written)) : QJsonValue()}};
    // One write per line, unbuffered and appending: the line reaches the file whole, or what part
    // of it did is taken back, so that the record never holds half a line.
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    const bool seekable = !m_file.isSequential();
    const qint64 before = seekable ? m_file.size() : 0;
    if (m_file.write(line) == line.size())
        return true;
    m_error = m_file.errorString();
    if (seekable && m_file.size() > before)
        (void)m_file.resize(before);
    return false;
}

bool writeOut(std::FILE *stream, const QByteArray& bytes, Bytes kind) {
    if (kind == Bytes::Utf8Text) {
        if (const std::optional<bool> written = writeToConsole(stream, bytes))
            return *written;
    }
    const std::size_t wrote = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    return std::fflush(stream) == 0 && wrote == std::size_t(bytes.size());
}

StatusLines::StatusLines(std::FILE *stream, const QList<Target>& targets)
    : m_stream(stream) {
    // The lines are rewritten with the terminal's cursor controls.
    m_enabled = rewritesLines(stream);
    if (!m_enabled)
        return;
    for (const Target& t : targets) {
        m_labels << (t.port == t.device ? t.port : QStringLiteral("%1 %2").arg(t.port, t.device));
        m_statuses << QStringLiteral("waiting");
    }
    for (qsizetype i = 0; i < m_labels.size(); ++i)
        std::fputs("\n", m_stream);
    for (qsizetype i = 0; i < m_labels.size(); ++i)
        draw(i);
}

void StatusLines::update(qsizetype line, const QString& status) {
    if (!m_enabled || line < 0 || line >= m_statuses.size())
        return;
    m_statuses[line] = status;
    draw(line);
}

void StatusLines::draw(qsizetype line) {
    // Up to the port's line, clear it, write it, and back down below the last line.
    const qsizetype up = m_labels.size() - line;
    const QByteArray text = QStringLiteral("\x1b[%1A\r\x1b[2K%2  %3\x1b[%1B\r")
                                .arg(up)
                                .arg(m_labels[line], m_statuses[line])
                                .toUtf8();
    std::fputs(text.constData(), m_stream);
    std::fflush(m_stream);
}

} // namespace dialerctl
