// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Log.h"

#include "Json.h"
#include "settings/PrivateFile.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace dialerctl {

bool ExchangeLog::open(const QString& path) {
    // The log holds the values read and written: a log it creates is the user's alone.
    m_file.setFileName(path);
    // As a settings file: a link another user controls would append the values to whatever file
    // that user chose.
    if (PrivateFile::isLinkOthersControl(path)) {
        m_error = QStringLiteral("it is a symbolic link in a folder other users may write to; the "
                                 "file it leads to is left untouched");
        return false;
    }
    if (PrivateFile::open(m_file, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    m_error = m_file.errorString();
    return false;
}

bool ExchangeLog::append(const ExchangeRecord& record, const QString& serialNumber) {
    QJsonObject object{
        {QStringLiteral("time"), record.at.toString(Qt::ISODateWithMs)},
        {QStringLiteral("port"), record.target.port},
        {QStringLiteral("device"), record.target.device},
        {QStringLiteral("serial"), orNull(serialNumber)},
        // The earlier name of the same key, kept for the scripts that read it until
        // the next version.
        {QStringLiteral("serialNumber"), orNull(serialNumber)},
        {QStringLiteral("command"),
         record.step == Step::Write ? QStringLiteral("write") : QStringLiteral("read")},
        {QStringLiteral("attempt"), record.attempt},
        {QStringLiteral("outcome"), name(record.outcome)},
        {QStringLiteral("values"),
         record.valuesRead ? QJsonValue(jsonValues(*record.valuesRead)) : QJsonValue()},
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

} // namespace dialerctl
