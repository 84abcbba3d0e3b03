// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "text/SystemText.h"

#include <QList>

#include <array>
#include <optional>
#include <utility>

#include <windows.h>

namespace SystemText {

namespace {

// The errors a user meets with ports and files, worded as on Linux.
constexpr std::array<std::pair<DWORD, const char16_t *>, 14> Known{{
    {ERROR_ACCESS_DENIED, u"доступ запрещён"},
    {ERROR_SHARING_VIOLATION, u"файл или порт занят другой программой"},
    {ERROR_FILE_NOT_FOUND, u"файл не найден"},
    {ERROR_PATH_NOT_FOUND, u"путь не найден"},
    {ERROR_GEN_FAILURE, u"устройство не работает: оно отключено или неисправно"},
    {ERROR_OPERATION_ABORTED, u"операция прервана: устройство отключено или не отвечает"},
    {ERROR_BAD_COMMAND, u"устройство не понимает команду: оно отключено или не готово"},
    {ERROR_DEVICE_NOT_CONNECTED, u"устройство не подключено"},
    {ERROR_NOT_READY, u"устройство не готово"},
    {ERROR_SEM_TIMEOUT, u"время ожидания устройства истекло"},
    {ERROR_DISK_FULL, u"на диске не осталось места"},
    {ERROR_HANDLE_DISK_FULL, u"на диске не осталось места"},
    {ERROR_WRITE_PROTECT, u"носитель защищён от записи"},
    {ERROR_TOO_MANY_OPEN_FILES, u"открыто слишком много файлов"},
}};

// What the system itself says for a code, in its own language, as Qt reports it too.
QString systemWords(DWORD code) {
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text),
        0, nullptr);
    QString words = length > 0 ? QString::fromWCharArray(text, int(length)) : QString();
    LocalFree(text);
    return withoutFullStop(words);
}

const char16_t *known(DWORD code) {
    for (const auto& [number, russian] : Known) {
        if (number == code)
            return russian;
    }
    return nullptr;
}

} // namespace

// Qt gives a file's failure in the system's words only: the known errors are recognised by them.
std::optional<QString> platformPhrase(const QString& text) {
    static const QList<std::pair<QString, const char16_t *>> words = [] {
        QList<std::pair<QString, const char16_t *>> list;
        for (const auto& [code, russian] : Known) {
            const QString system = systemWords(code);
            if (!system.isEmpty())
                list.append({system, russian});
        }
        return list;
    }();
    for (const auto& [system, russian] : words) {
        if (text.compare(system, Qt::CaseInsensitive) == 0)
            return QString::fromUtf16(russian);
    }
    return std::nullopt;
}

QString fromCode(unsigned long code) {
    if (code == 0)
        return QStringLiteral("система не назвала причину");
    if (const char16_t *russian = known(code))
        return QString::fromUtf16(russian);
    const QString words = systemWords(code);
    if (words.isEmpty())
        return QStringLiteral("системная ошибка %1").arg(code);
    return QStringLiteral("%1 (код %2)").arg(inRussian(words)).arg(code);
}

} // namespace SystemText
