// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "text/SystemText.h"

#include <QTest>

#include <cerrno>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// The system's failures as a Russian user reads them, whatever the system's language.
class SystemTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The system's own words for an error number, as Qt passes them on, and the number itself.
    void errorsUsersMeetAreWordedInRussian_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
#ifdef Q_OS_WIN
        QTest::newRow("access denied") << int(ERROR_ACCESS_DENIED) << "доступ запрещён";
        QTest::newRow("sharing violation")
            << int(ERROR_SHARING_VIOLATION) << "файл или порт занят другой программой";
        QTest::newRow("path not found") << int(ERROR_PATH_NOT_FOUND) << "путь не найден";
        QTest::newRow("semaphore timeout")
            << int(ERROR_SEM_TIMEOUT) << "время ожидания устройства истекло";
        QTest::newRow("device gone")
            << int(ERROR_GEN_FAILURE) << "устройство не работает: оно отключено или неисправно";
        QTest::newRow("disk full") << int(ERROR_DISK_FULL) << "на диске не осталось места";
        QTest::newRow("write-protected")
            << int(ERROR_WRITE_PROTECT) << "носитель защищён от записи";
#else
        QTest::newRow("access denied") << EACCES << "доступ запрещён";
        QTest::newRow("no such file") << ENOENT << "нет такого файла или каталога";
        QTest::newRow("disk full") << ENOSPC << "на устройстве не осталось места";
#endif
    }
    void errorsUsersMeetAreWordedInRussian() {
        QFETCH(int, code);
        QFETCH(QString, expected);
        QCOMPARE(SystemText::inRussian(qt_error_string(code)), expected);
        QCOMPARE(SystemText::fromCode(static_cast<unsigned long>(code)), expected);
    }

    void otherTextsKeepTheSystemsWordsWithoutASecondFullStop_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Russian system text") << "Путь не найден.\r\n"
                                             << "Путь не найден";
        QTest::newRow("English, unknown") << "The parameter is wrong."
                                          << "системная ошибка «The parameter is wrong»";
        QTest::newRow("a file and its reason")
            << "Cannot create /srv/Velkor.ini for output: Permission denied"
            << "не удалось создать /srv/Velkor.ini для записи: доступ запрещён";
        QTest::newRow("a protected file") << "Existing file /srv/Velkor.ini is not writable"
                                          << "файл /srv/Velkor.ini защищён от записи";
        QTest::newRow("lock folders")
            << "The following directories are not readable or writable for detaling with lock "
               "files\n\t/var/lock"
            << "нет доступа к каталогам файлов блокировки";
        QTest::newRow("worded already") << "системная ошибка «X» (код 87)"
                                        << "системная ошибка «X» (код 87)";
    }
    void otherTextsKeepTheSystemsWordsWithoutASecondFullStop() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(SystemText::inRussian(text), expected);
    }

    // A loss the system gives no number for is not told as a success.
    void noCodeIsNoSuccess() {
        QCOMPARE(SystemText::fromCode(0), QString("система не назвала причину"));
#ifdef Q_OS_WIN
        QVERIFY(SystemText::fromCode(ERROR_INVALID_PARAMETER).endsWith("(код 87)"));
#endif
    }
};

QTEST_GUILESS_MAIN(SystemTextTest)
#include "tst_systemtext.moc"
