// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "SettingsStore.h"

#include "PrivateFile.h"
#include "SettingsFormat.h"
#include "text/AnsiText.h"
#include "text/SystemText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

SettingsReport report(SettingsProblem problem, const QString& filePath, QString detail = {},
                      int field = 0) {
    return {problem, filePath, std::move(detail), field};
}

} // namespace

QString SettingsReport::describe() const {
    const QString loadTail = QStringLiteral(
        "\r\nНедостающие значения взяты по умолчанию. Файл останется без изменений до выхода по "
        "кнопке Exit.");
    const QString reason = SystemText::inRussian(detail);
    // The path as the system shows it (backslashes on Windows).
    const QString shown = QDir::toNativeSeparators(filePath);
    const QString saveTail =
        QStringLiteral("\r\nЗначения полей не потеряны: устраните причину и нажмите Exit ещё раз.");
    switch (problem) {
    case SettingsProblem::None:
        return {};
    case SettingsProblem::CannotOpen:
        return QStringLiteral("Не удалось прочитать файл настроек «%1»: %2.").arg(shown, reason) +
               loadTail;
    case SettingsProblem::EndsEarly:
        return QStringLiteral("Файл настроек «%1» обрывается: прочитано полей %2 из 6.")
                   .arg(shown)
                   .arg(field) +
               loadTail;
    case SettingsProblem::TooLarge:
        return QStringLiteral("Файл настроек «%1» слишком велик: в первых %2 МБ прочитано полей %3 "
                              "из 6.")
                   .arg(shown)
                   .arg(SettingsStore::MaxFileSize / (qint64{1024} * 1024))
                   .arg(field) +
               loadTail;
    case SettingsProblem::CannotEncode:
        return QStringLiteral("Не удалось сохранить файл настроек «%1»: поле %2 содержит символ, "
                              "который нельзя записать в кодировке windows-1251.")
                   .arg(shown)
                   .arg(field) +
               saveTail;
    case SettingsProblem::CannotCreate:
        return QStringLiteral("Не удалось создать файл настроек «%1»: %2.").arg(shown, reason) +
               saveTail;
    case SettingsProblem::CannotWrite:
        return QStringLiteral("Не удалось записать файл настроек «%1»: %2.").arg(shown, reason) +
               saveTail;
    case SettingsProblem::CannotReplace:
        return QStringLiteral("Не удалось заменить файл настроек «%1»: %2.").arg(shown, reason) +
               saveTail;
    case SettingsProblem::SharedLink:
        return QStringLiteral("Файл настроек «%1» не сохранён: это символическая ссылка в папке, "
                              "куда могут писать другие пользователи, и файл, на который она "
                              "указывает, не изменён. Сохраните настройки в своей папке.")
                   .arg(shown) +
               saveTail;
    }
    return {};
}

SettingsStore::SettingsStore(QString filePath)
    : m_filePath(std::move(filePath)) {}

SettingsLoadResult SettingsStore::Load() const {
    const QFileInfo info(m_filePath);
    const QString path = info.absoluteFilePath();
    if (!info.exists())
        return {DialerSettings::defaults(), report(SettingsProblem::None, path)};
    // A folder, a pipe or a device of that name would fail or block a reader.
    if (!info.isFile())
        return {DialerSettings::defaults(),
                report(SettingsProblem::CannotOpen, path, QStringLiteral("это не обычный файл"))};

    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {DialerSettings::defaults(),
                report(SettingsProblem::CannotOpen, path, file.errorString())};
    QByteArray bytes;
    char chunk[64 * 1024];
    while (bytes.size() <= MaxFileSize) {
        const qint64 got = file.read(chunk, sizeof chunk);
        if (got < 0)
            return {DialerSettings::defaults(),
                    report(SettingsProblem::CannotOpen, path, file.errorString())};
        if (got == 0)
            break;
        bytes.append(chunk, got);
    }
    const bool tooLarge = bytes.size() > MaxFileSize;
    if (tooLarge)
        bytes.truncate(MaxFileSize);

    SettingsFormat::ParseResult parsed = SettingsFormat::parse(SettingsFormat::decodeFile(bytes));
    if (parsed.fieldsRead < DialerSettings::FieldCount)
        return {std::move(parsed.settings),
                report(tooLarge ? SettingsProblem::TooLarge : SettingsProblem::EndsEarly, path, {},
                       parsed.fieldsRead)};
    return {std::move(parsed.settings), report(SettingsProblem::None, path)};
}

SettingsReport SettingsStore::Save(const DialerSettings& settings) const {
    const QString path = QFileInfo(m_filePath).absoluteFilePath();
    for (int i = 0; i < DialerSettings::FieldCount; ++i) {
        if (!AnsiText::isEncodable(settings[i]))
            return report(SettingsProblem::CannotEncode, path, {}, i + 1);
    }
    const std::optional<QByteArray> line = AnsiText::encode(SettingsFormat::formatLine(settings));
    Q_ASSERT(line);

    // The new file is written beside the old one and takes its place only when complete. A folder
    // that takes no new files (a shared or read-only folder holding one writable Velkor.ini) gets
    // the line written into the existing file instead, as a plain rewrite would. A symbolic link
    // stays a link: its target gets the new line, unless someone else may have chosen the target.
    if (PrivateFile::isLinkOthersControl(m_filePath))
        return report(SettingsProblem::SharedLink, path);
    const QString folder = QFileInfo(path).absolutePath();
    if (m_createsFolder && !QFileInfo::exists(folder) && !QDir().mkpath(folder))
        return report(
            SettingsProblem::CannotCreate, path,
            QStringLiteral("не удалось создать папку %1").arg(QDir::toNativeSeparators(folder)));
    const PrivateFile::Rights rights(m_filePath);
    QSaveFile file(m_filePath);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return report(SettingsProblem::CannotCreate, path, file.errorString());
    rights.giveToOpen(file);
    if (file.write(*line) != line->size()) {
        const QString detail = file.errorString();
        file.cancelWriting();
        return report(SettingsProblem::CannotWrite, path, detail);
    }
    if (!file.commit()) {
        const auto problem = file.error() == QFileDevice::RenameError
                                 ? SettingsProblem::CannotReplace
                                 : SettingsProblem::CannotWrite;
        return report(problem, path, file.errorString());
    }
    rights.giveToPlaced(m_filePath);
    return report(SettingsProblem::None, path);
}
