// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "text/SystemText.h"

#include <QStringList>

#include <array>
#include <optional>
#include <utility>

namespace SystemText {

namespace {

// What the file and serial layers say, as Qt and the C library word it.
constexpr std::array<std::pair<const char16_t *, const char16_t *>, 39> Phrases{{
    {u"Permission denied", u"доступ запрещён"},
    {u"Operation not permitted", u"операция не разрешена"},
    {u"No such file or directory", u"нет такого файла или каталога"},
    {u"No such device", u"нет такого устройства"},
    {u"No such device or address", u"нет такого устройства или адреса"},
    {u"Device or resource busy", u"устройство или ресурс заняты"},
    {u"Input/output error", u"ошибка ввода-вывода"},
    {u"Read-only file system", u"файловая система доступна только для чтения"},
    {u"No space left on device", u"на устройстве не осталось места"},
    {u"Disk quota exceeded", u"превышена дисковая квота"},
    {u"File too large", u"файл слишком велик"},
    {u"Is a directory", u"это каталог"},
    {u"Not a directory", u"в пути стоит не каталог"},
    {u"File name too long", u"слишком длинное имя файла"},
    {u"Too many levels of symbolic links", u"слишком много уровней символических ссылок"},
    {u"Too many open files", u"открыто слишком много файлов"},
    {u"Inappropriate ioctl for device", u"устройство не является последовательным портом"},
    {u"Resource temporarily unavailable", u"ресурс временно недоступен"},
    {u"Invalid argument", u"недопустимый аргумент"},
    {u"Bad file descriptor", u"неверный дескриптор файла"},
    {u"Broken pipe", u"канал разорван"},
    {u"Text file busy", u"файл занят"},
    {u"Stale file handle", u"устаревший дескриптор файла"},
    {u"Operation timed out", u"время ожидания истекло"},
    {u"Connection timed out", u"время ожидания истекло"},
    {u"Unknown error", u"неизвестная ошибка"},
    {u"No error", u"ошибки нет"},
    {u"Device is already open", u"устройство уже открыто"},
    {u"Device is not open", u"устройство не открыто"},
    {u"Error reading from device", u"ошибка чтения с устройства"},
    {u"Error writing to device", u"ошибка записи в устройство"},
    {u"Invalid baud rate value", u"недопустимая скорость обмена"},
    {u"Unsupported open mode", u"неподдерживаемый режим открытия"},
    {u"Device disappeared from the system", u"устройство исчезло из системы"},
    {u"Failed to create a lock file for opening the device",
     u"не удалось создать файл блокировки устройства"},
    {u"Permission error while creating lock file", u"нет прав на создание файла блокировки"},
    {u"Permission error while locking the device", u"нет прав на блокировку устройства"},
    {u"Writing canceled by application", u"запись прервана программой"},
    {u"Filename refers to a directory", u"это имя каталога, а не файла"},
}};

// A text of the form before + capture + after, or before + capture + between + capture + after,
// or (no captures) before and whatever follows.
// Plain comparisons rather than regular expressions: this runs on the probe's threads too, where
// a compiled expression's machine code outlives the thread (and under wine the process cannot end).
struct Pattern {
    const char16_t *before;
    const char16_t *between; // nullptr: one capture
    const char16_t *after;
    const char16_t *russian; // %1 (and %2): the captures; none when `captures` is 0
    int captures;
};

const std::array<Pattern, 3> Patterns{{
    {u"Existing file ", nullptr, u" is not writable", u"файл %1 защищён от записи", 1},
    {u"Cannot create ", u" for output: ", u"", u"не удалось создать %1 для записи: %2", 2},
    {u"The following directories are not readable or writable for detaling with lock files",
     nullptr, u"", u"нет доступа к каталогам файлов блокировки", 0},
}};

// The captures of a text that has the pattern's form.
std::optional<QStringList> match(QStringView text, const Pattern& pattern) {
    const QString before = QString::fromUtf16(pattern.before);
    const QString after = QString::fromUtf16(pattern.after);
    if (!text.startsWith(before) || !text.endsWith(after) ||
        text.size() < before.size() + after.size())
        return std::nullopt;
    const QStringView rest = text.sliced(before.size(), text.size() - before.size() - after.size());
    if (pattern.captures == 0)
        return QStringList{}; // whatever follows
    if (pattern.between == nullptr) {
        if (rest.isEmpty())
            return std::nullopt;
        return QStringList{rest.toString()};
    }
    const QString between = QString::fromUtf16(pattern.between);
    const qsizetype at = rest.indexOf(between);
    if (at < 1 || at + between.size() >= rest.size())
        return std::nullopt;
    return QStringList{rest.first(at).toString(), rest.sliced(at + between.size()).toString()};
}

} // namespace

// The platform's own wording of a system error text, where it knows the error (SystemText_*.cpp).
std::optional<QString> platformPhrase(const QString& text);

namespace {

bool hasLatinLetter(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    });
}

} // namespace

QString withoutFullStop(const QString& systemText) {
    QString text = systemText.trimmed();
    while (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

QString inRussian(const QString& systemText) {
    QString text = withoutFullStop(systemText);
    if (text.startsWith(u"системная ошибка"))
        return text; // worded here already
    if (std::optional<QString> phrase = platformPhrase(text))
        return *std::move(phrase);
    for (const auto& [english, russian] : Phrases) {
        if (text.compare(QString::fromUtf16(english), Qt::CaseInsensitive) == 0)
            return QString::fromUtf16(russian);
    }
    for (const Pattern& pattern : Patterns) {
        const std::optional<QStringList> captured = match(text, pattern);
        if (!captured)
            continue;
        QString russian = QString::fromUtf16(pattern.russian);
        for (qsizetype i = 0; i < captured->size(); ++i)
            russian = russian.arg(i == 1 ? inRussian(captured->at(i)) : captured->at(i));
        return russian;
    }
    // Already Russian (a desktop in Russian gets the C library's own translation), or a path.
    if (!hasLatinLetter(text))
        return text;
    return QStringLiteral("системная ошибка «%1»").arg(text);
}

} // namespace SystemText
