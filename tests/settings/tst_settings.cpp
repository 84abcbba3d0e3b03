// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "FileRights.h"
#include "TestSupport.h"

#include "settings/PrivateFile.h"
#include "settings/SettingsFormat.h"
#include "settings/SettingsLocation.h"
#include "settings/SettingsStore.h"
#include "text/AnsiText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <QRandomGenerator>

#ifdef Q_OS_UNIX
#include "RussianText.h"
#include "Unprivileged.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void init() {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("Velkor.ini"));
        // Each test starts in an empty folder: a process killed mid-save in an earlier test may
        // have left its temporary file, as a killed save does.
        const QDir dir(m_dir.path());
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
            QFile::remove(dir.filePath(name));
    }

    void defaultsAreTheNineDigitNumbersAndTheServiceCode() {
        QCOMPARE(values(DialerSettings::defaults()),
                 QStringList({"111111111", "222222222", "333333333", "444444444", "555555555",
                              "*123*123456789#"}));
    }

    void defaultRecordIsA77ByteLineEndedByCrLf() {
        const QByteArray line =
            *AnsiText::encode(SettingsFormat::formatLine(DialerSettings::defaults()));
        QCOMPARE(line, QByteArray("\"111111111\",\"222222222\",\"333333333\",\"444444444\","
                                  "\"555555555\",\"*123*123456789#\"\r\n"));
        QCOMPARE(line.size(), 77 + 2);
    }

    void shouldWriteValuesQuotedAndCommaSeparated_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty values are two adjacent quotes")
            << QStringList{"", "", "", "", "", ""}
            << QByteArray("\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
        QTest::newRow("a comma stays inside the quotes")
            << QStringList{"1,2", "b", "c", "d", "e", "f"}
            << QByteArray("\"1,2\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n");
        QTest::newRow("a quote is doubled")
            << QStringList{"a\"b", "\"", "c", "d", "e", "f"}
            << QByteArray("\"a\"\"b\",\"\"\"\",\"c\",\"d\",\"e\",\"f\"\r\n");
        QTest::newRow("blanks are kept") << QStringList{" 1", "2 ", " ", "d", "e", "f"}
                                         << QByteArray("\" 1\",\"2 \",\" \",\"d\",\"e\",\"f\"\r\n");
        QTest::newRow("cyrillic goes out in windows-1251")
            << QStringList{"Дом", "b", "c", "d", "e", "Ё"}
            << QByteArray("\"\xc4\xee\xec\",\"b\",\"c\",\"d\",\"e\",\"\xa8\"\r\n");
    }
    void shouldWriteValuesQuotedAndCommaSeparated() {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, bytes);
        QVERIFY(SettingsStore(m_path).Save(record(fields)).ok());
        QCOMPARE(readBytes(m_path), bytes);
    }

    void shouldReadTheFirstSixFields_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("fieldsRead");
        const QStringList abc{"a", "b", "c", "d", "e", "f"};
        QTest::newRow("as written")
            << QByteArray("\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n") << abc << 6;
        QTest::newRow("no line end")
            << QByteArray("\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"") << abc << 6;
        QTest::newRow("LF only") << QByteArray("\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\n") << abc << 6;
        QTest::newRow("blanks around commas")
            << QByteArray("  \"a\" , \"b\",\t\"c\"  ,\"d\",\"e\" ,  \"f\"  \r\n") << abc << 6;
        QTest::newRow("unquoted values") << QByteArray("a,b,c,d,e,f\r\n") << abc << 6;
        QTest::newRow("unquoted values lose surrounding blanks")
            << QByteArray(" a , b\t,c,  d,e ,f  \r\n") << abc << 6;
        QTest::newRow("mixed quoting") << QByteArray("a,\"b\",c,\"d\",e,\"f\"") << abc << 6;
        QTest::newRow("one field per line")
            << QByteArray("\"a\"\r\n\"b\"\r\n\"c\"\r\n\"d\"\r\n\"e\"\r\n\"f\"\r\n") << abc << 6;
        QTest::newRow("spread over lines with commas")
            << QByteArray("\"a\",\"b\",\r\n\"c\",\r\n\r\n\"d\",\"e\"\n\"f\"") << abc << 6;
        QTest::newRow("a comma opening a line is an empty field")
            << QByteArray("a,b,c,d,e\n,f") << QStringList{"a", "b", "c", "d", "e", ""} << 6;
        QTest::newRow("more than six fields")
            << QByteArray("\"a\",\"b\",\"c\",\"d\",\"e\",\"f\",\"g\",\"h\"\r\nrest") << abc << 6;
        QTest::newRow("empty quoted values")
            << QByteArray("\"\",\"\",\"\",\"\",\"\",\"\"\r\n") << QStringList(6, QString()) << 6;
        QTest::newRow("empty unquoted values")
            << QByteArray(",,,,,x") << QStringList{"", "", "", "", "", "x"} << 6;
        QTest::newRow("comma and line break inside quotes")
            << QByteArray("\"1,2\",\"x\r\ny\",\"c\",\"d\",\"e\",\"f\"")
            << QStringList{"1,2", "x\r\ny", "c", "d", "e", "f"} << 6;
        QTest::newRow("doubled quotes")
            << QByteArray("\"a\"\"b\",\"\"\"\",\"\"\"\"\"\",\"d\",\"e\",\"f\"")
            << QStringList{"a\"b", "\"", "\"\"", "d", "e", "f"} << 6;
        QTest::newRow("a lone quote ends the value, the rest up to the comma is dropped")
            << QByteArray("\"a\"b\",\"c\",\"d\",\"e\",\"f\",\"g\"")
            << QStringList{"a", "c", "d", "e", "f", "g"} << 6;
        QTest::newRow("blanks inside quotes are kept")
            << QByteArray("\"  1\",\" 2 \",\"c\",\"d\",\"e\",\"f\"")
            << QStringList{"  1", " 2 ", "c", "d", "e", "f"} << 6;
        QTest::newRow("windows-1251") << QByteArray("\"\xc4\xee\xec\",b,c,d,e,\"\xa8\"")
                                      << QStringList{"Дом", "b", "c", "d", "e", "Ё"} << 6;
        const QStringList defaults = values(DialerSettings::defaults());
        QTest::newRow("empty file") << QByteArray() << defaults << 0;
        QTest::newRow("only blank lines") << QByteArray("\r\n  \r\n") << defaults << 0;
        QTest::newRow("ends after two fields")
            << QByteArray("\"a\",\"b\"\r\n")
            << QStringList{"a", "b", "333333333", "444444444", "555555555", "*123*123456789#"} << 2;
        QTest::newRow("ends inside the third value")
            << QByteArray("\"a\",\"b\",\"cc")
            << QStringList{"a", "b", "333333333", "444444444", "555555555", "*123*123456789#"} << 2;
        QTest::newRow("ends after five fields and a comma")
            << QByteArray("\"a\",\"b\",\"c\",\"d\",\"e\",")
            << QStringList{"a", "b", "c", "d", "e", "*123*123456789#"} << 5;
    }
    void shouldReadTheFirstSixFields() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        QFETCH(int, fieldsRead);
        const SettingsFormat::ParseResult parsed = SettingsFormat::parse(AnsiText::decode(file));
        QCOMPARE(values(parsed.settings), expected);
        QCOMPARE(parsed.fieldsRead, fieldsRead);
    }

    void everyValueRoundTripsThroughTheFile_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("defaults") << values(DialerSettings::defaults());
        QTest::newRow("empty") << QStringList(6, QString());
        QTest::newRow("quotes everywhere")
            << QStringList{"\"", "\"\"", "a\"", "\"a", "a\"\"b", "\",\""};
        QTest::newRow("commas and line breaks")
            << QStringList{",", "a,b", "\r\n", "x\ny", "\r", ",,"};
        QTest::newRow("blanks") << QStringList{" ", "  1", "2  ", "\t", " a b ", "\t\t"};
        QTest::newRow("cyrillic and symbols")
            << QStringList{"Привет", "№5", "*100#", "+7 (495) 123-45-67", "€", "ёЁ"};
        QTest::newRow("control characters")
            << QStringList{QString(QChar(0)), "\x01\x1f", "a", "b", "c", "d"};
        QTest::newRow("long value") << QStringList{QString(100000, u'7'), "b", "c", "d", "e", "f"};
    }
    void everyValueRoundTripsThroughTheFile() {
        QFETCH(QStringList, fields);
        const SettingsStore store(m_path);
        QVERIFY(store.Save(record(fields)).ok());
        const SettingsLoadResult loaded = store.Load();
        QVERIFY2(loaded.report.ok(), qPrintable(loaded.report.describe()));
        QCOMPARE(values(loaded.settings), fields);
    }

    void missingFileGivesTheDefaultsSilentlyAndCreatesNothing() {
        const SettingsLoadResult loaded = SettingsStore(m_path).Load();
        QCOMPARE(loaded.settings, DialerSettings::defaults());
        QVERIFY(loaded.report.ok());
        QVERIFY(!QFile::exists(m_path));
    }

    void relativeNameResolvesAgainstTheCurrentDirectory() {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        const SettingsReport saved = SettingsStore().Save(record({"1", "2", "3", "4", "5", "6"}));
        QDir::setCurrent(before);
        QVERIFY(saved.ok());
        QCOMPARE(saved.filePath, m_path);
        QCOMPARE(readBytes(m_path), QByteArray("\"1\",\"2\",\"3\",\"4\",\"5\",\"6\"\r\n"));
    }

    void shortFileGivesWhatItHoldsPlusDefaultsAndIsLeftAlone() {
        const QByteArray bytes("\"100\",\"200\",\"30");
        writeBytes(m_path, bytes);
        const SettingsLoadResult loaded = SettingsStore(m_path).Load();
        QCOMPARE(values(loaded.settings), QStringList({"100", "200", "333333333", "444444444",
                                                       "555555555", "*123*123456789#"}));
        QCOMPARE(loaded.report.problem, SettingsProblem::EndsEarly);
        QCOMPARE(loaded.report.field, 2);
        QVERIFY(loaded.report.describe().contains(QDir::toNativeSeparators(m_path)));
        QCOMPARE(readBytes(m_path), bytes);
    }

    void fileThatCannotBeOpenedGivesDefaultsAndAReason() {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("Velkor.ini")));
        const SettingsLoadResult loaded = SettingsStore(m_path).Load();
        QDir(m_dir.path()).rmdir(QStringLiteral("Velkor.ini"));
        QCOMPARE(loaded.settings, DialerSettings::defaults());
        QCOMPARE(loaded.report.problem, SettingsProblem::CannotOpen);
        QVERIFY(!loaded.report.detail.isEmpty());
    }

    void oversizedFileIsReadOnlyUpToTheLimit() {
        QByteArray bytes("\"1\",\"2\",\"");
        bytes += QByteArray(SettingsStore::MaxFileSize, 'x');
        bytes += "\",\"4\",\"5\",\"6\"\r\n";
        writeBytes(m_path, bytes);
        const SettingsLoadResult loaded = SettingsStore(m_path).Load();
        QCOMPARE(loaded.report.problem, SettingsProblem::TooLarge);
        QCOMPARE(loaded.report.field, 2);
        QCOMPARE(loaded.settings.PhoneNum2, QStringLiteral("2"));
        QCOMPARE(loaded.settings.PhoneNum3, QStringLiteral("333333333"));
    }

    void valueTheCodePageCannotHoldIsRefusedAndTheOldFileKept() {
        const QByteArray old("\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n");
        writeBytes(m_path, old);
        const SettingsReport report =
            SettingsStore(m_path).Save(record({"1", "2", "3", "4", "\U0001F600", "6"}));
        QCOMPARE(report.problem, SettingsProblem::CannotEncode);
        QCOMPARE(report.field, 5);
        QCOMPARE(readBytes(m_path), old);
    }

    void saveIntoAMissingFolderReportsInsteadOfEnding() {
        const QString path = m_dir.filePath(QStringLiteral("no-such-folder/Velkor.ini"));
        const SettingsReport report = SettingsStore(path).Save(DialerSettings::defaults());
        QCOMPARE(report.problem, SettingsProblem::CannotCreate);
        QVERIFY(report.describe().contains(QDir::toNativeSeparators(path)));

        // A store in the user's own folder makes the folder first.
        SettingsStore own(path);
        own.setCreatesFolder(true);
        QVERIFY(own.Save(DialerSettings::defaults()).ok());
        QCOMPARE(SettingsStore(path).Load().settings, DialerSettings::defaults());
    }

    // Started where no user writes (the installed program's folder, the system folder), the file
    // is the user's own; anywhere else it is the current folder's, as it always was.
    void fileIsTheUsersOwnWhereNoUserWrites_data() {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("expected");
        const QString own = "C:/Users/ana/AppData/Local/dialer-config/Velkor.ini";
        QTest::newRow("installed folder") << "C:/Program Files/dialer-config" << own;
        QTest::newRow("other case, backslashes") << "c:\\program files\\dialer-config\\" << own;
        QTest::newRow("32-bit program folder") << "C:/Program Files (x86)/x" << own;
        QTest::newRow("system folder") << "C:\\Windows\\system32" << own;
        QTest::newRow("a folder named alike") << "C:/Program Files Extra/dialer-config"
                                              << "Velkor.ini";
        QTest::newRow("portable folder") << "D:/tools/dialer-config"
                                         << "Velkor.ini";
        QTest::newRow("a Linux folder") << "/home/ana"
                                        << "Velkor.ini";
    }
    void fileIsTheUsersOwnWhereNoUserWrites() {
        QFETCH(QString, current);
        QFETCH(QString, expected);
        const QStringList protectedFolders{"C:/Program Files", "C:/Program Files (x86)",
                                           "C:\\Windows"};
        QCOMPARE(SettingsLocation::choose(current, protectedFolders,
                                          "C:\\Users\\ana\\AppData\\Local\\dialer-config"),
                 expected);
        // A folder of the test's own is no such place on any system.
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        const QString here = SettingsLocation::forThisRun().filePath();
        QDir::setCurrent(before);
        QCOMPARE(here, QString("Velkor.ini"));
    }

#ifdef Q_OS_UNIX
    void unreadableFileGivesDefaultsAndIsLeftAlone() {
        const QByteArray old("\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n");
        writeBytes(m_path, old);
        QVERIFY(chmod(QFile::encodeName(m_dir.path()).constData(), 0755) == 0);
        QVERIFY(chmod(QFile::encodeName(m_path).constData(), 0) == 0);
        const int code = runUnprivileged([this] {
            const SettingsLoadResult loaded = SettingsStore(m_path).Load();
            return loaded.report.problem == SettingsProblem::CannotOpen &&
                           loaded.settings == DialerSettings::defaults() &&
                           !loaded.report.detail.isEmpty() &&
                           foreignWords(loaded.report.describe(), {m_path}).isEmpty()
                       ? 0
                       : 1;
        });
        QVERIFY(chmod(QFile::encodeName(m_path).constData(), 0644) == 0);
        QCOMPARE(code, 0);
        QCOMPARE(readBytes(m_path), old);
    }

    // A folder that takes no new files: a writable Velkor.ini is rewritten in place, one that is
    // not writable is reported and kept.
    void folderThatTakesNoNewFiles_data() {
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<bool>("saved");
        QTest::newRow("writable file") << 0666 << true;
        QTest::newRow("read-only file") << 0444 << false;
    }
    void folderThatTakesNoNewFiles() {
        QFETCH(int, fileMode);
        QFETCH(bool, saved);
        const QByteArray old("\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n");
        writeBytes(m_path, old);
        QVERIFY(chmod(QFile::encodeName(m_path).constData(), mode_t(fileMode)) == 0);
        QVERIFY(chmod(QFile::encodeName(m_dir.path()).constData(), 0555) == 0);
        const int code = runUnprivileged([this, saved] {
            const SettingsReport report = SettingsStore(m_path).Save(DialerSettings::defaults());
            if (saved)
                return report.ok() ? 0 : 1;
            return report.problem == SettingsProblem::CannotCreate &&
                           report.describe().contains(m_path) &&
                           foreignWords(report.describe(), {m_path}).isEmpty()
                       ? 0
                       : 1;
        });
        QVERIFY(chmod(QFile::encodeName(m_dir.path()).constData(), 0700) == 0);
        QCOMPARE(code, 0);
        QCOMPARE(readBytes(m_path),
                 saved ? *AnsiText::encode(SettingsFormat::formatLine(DialerSettings::defaults()))
                       : old);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"Velkor.ini"});
    }

    void symbolicLinkStaysALinkAndItsTargetGetsTheLine() {
        const QString target = m_dir.filePath("kept/elsewhere.ini");
        QVERIFY(QDir().mkpath(QFileInfo(target).path()));
        writeBytes(target, "\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n");
        QFile::remove(m_path);
        QVERIFY(QFile::link(target, m_path));
        QVERIFY(SettingsStore(m_path).Save(record({"1", "2", "3", "4", "5", "6"})).ok());
        QVERIFY(QFileInfo(m_path).isSymLink());
        QCOMPARE(readBytes(target), QByteArray("\"1\",\"2\",\"3\",\"4\",\"5\",\"6\"\r\n"));
        QFile::remove(m_path);
    }

    // A link in a folder others may write to may lead anywhere they chose (root saving in /tmp
    // would overwrite any file): the save refuses it, says why, and changes nothing.
    void linkInAFolderOthersMayWriteIsNotFollowed_data() {
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<bool>("othersOwnIt");
        QTest::addColumn<bool>("sharedGroup"); // the folder's group is not the user's own
        QTest::addColumn<bool>("followed");
        QTest::newRow("own folder others may read") << 0755 << false << false << true;
        QTest::newRow("own folder the user's own group writes, as umask 002 makes it")
            << 0775 << false << false << true;
        QTest::newRow("sticky folder everyone writes, as /tmp") << 01777 << false << false << false;
        QTest::newRow("folder everyone writes") << 0777 << false << false << false;
        if (geteuid() == 0) {
            QTest::newRow("folder a shared group writes") << 0770 << false << true << false;
            QTest::newRow("another user's folder") << 0755 << true << false << false;
        }
    }
    void linkInAFolderOthersMayWriteIsNotFollowed() {
        QFETCH(int, folderMode);
        QFETCH(bool, othersOwnIt);
        QFETCH(bool, sharedGroup);
        QFETCH(bool, followed);
        const QString folder = m_dir.filePath("shared");
        const QString target = m_dir.filePath("target.ini");
        const QString link = folder + "/Velkor.ini";
        const QByteArray old("\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n");
        writeBytes(target, old);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(target, link));
        QVERIFY(chmod(QFile::encodeName(folder).constData(), mode_t(folderMode)) == 0);
        if (othersOwnIt)
            QVERIFY(chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
        if (sharedGroup) // "users", a group of many
            QVERIFY(chown(QFile::encodeName(folder).constData(), uid_t(-1), 100) == 0);
        const SettingsReport report = SettingsStore(link).Save(DialerSettings::defaults());
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(QDir(folder).removeRecursively());
        if (followed) {
            QVERIFY2(report.ok(), qPrintable(report.describe()));
            QCOMPARE(readBytes(target),
                     *AnsiText::encode(SettingsFormat::formatLine(DialerSettings::defaults())));
            return;
        }
        QVERIFY2(report.problem == SettingsProblem::SharedLink, qPrintable(report.describe()));
        QVERIFY(report.describe().contains(link));
        QCOMPARE(foreignWords(report.describe(), {link}), QStringList());
        QCOMPARE(readBytes(target), old);
    }

    // Root saving a user's file (sudo in the user's folder, a backup under become) leaves it the
    // user's: a 0600 file that became root's would lock its owner out of it.
    void rootSavingAUsersFileLeavesItTheirs() {
        if (geteuid() != 0)
            QSKIP("only root replaces another user's file");
        writeBytes(m_path, "\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n");
        QVERIFY(chown(QFile::encodeName(m_path).constData(), 65534, 65534) == 0);
        QVERIFY(SettingsStore(m_path).Save(DialerSettings::defaults()).ok());
        struct stat saved {};
        QVERIFY(stat(QFile::encodeName(m_path).constData(), &saved) == 0);
        QCOMPARE(saved.st_uid, uid_t(65534));
        QCOMPARE(saved.st_gid, gid_t(65534));
    }

    // Killed at any moment of a Save, the file holds the old line or the new one, whole.
    void processKilledDuringSaveLeavesOldOrNewWhole() {
        const DialerSettings a = record({QString(1 << 20, u'1'), "a", "a", "a", "a", "a"});
        const DialerSettings b = record({QString(1 << 20, u'2'), "b", "b", "b", "b", "b"});
        QVERIFY(SettingsStore(m_path).Save(a).ok());
        QRandomGenerator random(7);
        for (int round = 0; round < 25; ++round) {
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                for (int i = 0;; ++i)
                    (void)SettingsStore(m_path).Save(i % 2 ? a : b);
            }
            QTest::qSleep(int(random.bounded(5, 40)));
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            const SettingsLoadResult loaded = SettingsStore(m_path).Load();
            QVERIFY2(loaded.report.ok(), qPrintable(loaded.report.describe()));
            QVERIFY(loaded.settings == a || loaded.settings == b);
        }
    }
#endif

    // The settings file, a backup and dialerctl's log hold telephone numbers: a file the program
    // creates is its owner's alone, whatever the umask; one already there keeps its rights.
    void filesWithNumbersAreTheOwnersAlone_data() {
        QTest::addColumn<bool>("appended"); // opened as the log is, not saved as Velkor.ini
        QTest::addColumn<bool>("sharedBefore");
        QTest::addColumn<QString>("rights");
        QTest::newRow("settings file saved anew") << false << false << "owner only";
        QTest::newRow("settings file already shared") << false << true << "everyone reads";
        QTest::newRow("log opened anew") << true << false << "owner only";
        QTest::newRow("log already shared") << true << true << "everyone reads";
    }
    void filesWithNumbersAreTheOwnersAlone() {
        QFETCH(bool, appended);
        QFETCH(bool, sharedBefore);
        QFETCH(QString, rights);
#ifdef Q_OS_UNIX
        const mode_t umaskBefore = umask(022);
#endif
        if (sharedBefore) {
            writeBytes(m_path, "\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n");
            QVERIFY(shareWithEveryone(m_path));
        }
        if (appended) {
            QFile log(m_path);
            QVERIFY(PrivateFile::open(log, QIODevice::WriteOnly | QIODevice::Append));
            QCOMPARE(log.write("{}\n"), 3);
        } else {
            QVERIFY(SettingsStore(m_path).Save(DialerSettings::defaults()).ok());
        }
#ifdef Q_OS_UNIX
        umask(umaskBefore);
#endif
        QCOMPARE(rightsOf(m_path), rights);
    }

    void hugeFileWithSixFieldsFirstLoadsThem() {
        QByteArray bytes("\"1\",\"2\",\"3\",\"4\",\"5\",\"6\"\r\n");
        bytes += QByteArray(qsizetype{8} * 1024 * 1024, '\xff');
        writeBytes(m_path, bytes);
        const SettingsLoadResult loaded = SettingsStore(m_path).Load();
        QVERIFY(loaded.report.ok());
        QCOMPARE(values(loaded.settings), QStringList({"1", "2", "3", "4", "5", "6"}));
    }

#ifdef Q_OS_UNIX
    // A write that fails half-way (here the file size limit, which binds root too) must leave the
    // previous file exactly as it was and no temporary file behind.
    void failedWriteLeavesTheOldFileIntact() {
        const QByteArray old("\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n");
        writeBytes(m_path, old);
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
            const SettingsReport report = SettingsStore(m_path).Save(
                record({QString(100000, u'9'), "2", "3", "4", "5", "6"}));
            _exit(report.problem == SettingsProblem::CannotWrite ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(readBytes(m_path), old);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"Velkor.ini"});
    }
#endif
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
