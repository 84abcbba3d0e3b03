// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The opening helper on Windows as the program starts it and hears it: the real helper, and a
// stand-in (opener_standin_win.cpp) for a helper that fails or whose opening hangs.
//
// What wine cannot show, and this test therefore does not: a CreateFile that a driver holds for
// seconds (a Bluetooth COM port whose far end is switched off). Wine's server opens devices
// itself, and an opening that hung there would stop every program of the prefix; the stand-in
// hangs in its place. Nor does wine keep a COM port to one opener, as Windows does: it lets a
// second program open a port that is open already. A file is opened as exclusively as a port and
// wine keeps it so, so the ports here are files.

#include "device/Opening.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

namespace {

HANDLE openExclusively(const QString& path) {
    return CreateFileW(path.toStdWString().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

bool opensExclusively(const QString& path) {
    const HANDLE file = openExclusively(path);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// Wine starts a program in tens of milliseconds, and in seconds on a machine that is busy.
constexpr int StartMs = 20000;

int lines(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
}

} // namespace

class OpeningTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_helper;

    [[nodiscard]] QString port(const QString& name) const {
        return QDir::toNativeSeparators(m_dir.filePath(name));
    }
    [[nodiscard]] static QString standIn() {
        return QCoreApplication::applicationDirPath() + "/dialer-open-standin.exe";
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_helper = DeviceOpening::program();
        QVERIFY2(QFile::exists(standIn()), qPrintable(standIn()));
    }
    void cleanup() { DeviceOpening::setProgram(m_helper); }

    void answerReachesTheProgram_data() {
        QTest::addColumn<QString>("helper"); // helper, stand-in, none
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("kind");
        QTest::addColumn<quint32>("systemError");
        QTest::addColumn<QString>("reason");
        const auto opened = int(DeviceOpening::Answer::Kind::Opened);
        const auto refused = int(DeviceOpening::Answer::Kind::Refused);
        const auto failed = int(DeviceOpening::Answer::Kind::Failed);
        QTest::newRow("a port that opens") << "helper"
                                           << "port" << false << opened << 0u << "";
        QTest::newRow("a port another program holds")
            << "helper"
            << "port" << true << refused << quint32(ERROR_SHARING_VIOLATION) << "";
        QTest::newRow("a port that does not exist")
            << "helper"
            << "absent" << false << refused << quint32(ERROR_FILE_NOT_FOUND) << "";
        QTest::newRow("no helper to start")
            << "none"
            << "port" << false << failed << 0u << "не удалось запустить помощника открытия портов";
        QTest::newRow("a helper that ends without a word")
            << "stand-in"
            << "port-silent" << false << failed << 0u << "завершился, не ответив";
        QTest::newRow("a helper cut short")
            << "stand-in"
            << "port-short" << false << failed << 0u << "ответил не по правилам";
    }
    void answerReachesTheProgram() {
        QFETCH(QString, helper);
        QFETCH(QString, name);
        QFETCH(bool, held);
        QFETCH(int, kind);
        QFETCH(quint32, systemError);
        QFETCH(QString, reason);
        const QString path = port(QStringLiteral("port"));
        QFile content(path);
        QVERIFY(content.open(QIODevice::WriteOnly) && content.write("dialer") == 6);
        content.close();
        if (helper == "stand-in")
            DeviceOpening::setProgram(standIn());
        else if (helper == "none")
            DeviceOpening::setProgram(m_dir.filePath("nowhere/dialer-open.exe"));
        const HANDLE holder = held ? openExclusively(path) : INVALID_HANDLE_VALUE;

        DeviceOpening opening;
        QSignalSpy answered(&opening, &DeviceOpening::answered);
        opening.start(port(name));
        QVERIFY(opening.waitForAnswer(StartMs));
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        QCOMPARE(answered.count(), 1);
        const auto answer = answered.at(0).at(0).value<DeviceOpening::Answer>();
        QVERIFY2(answer.reason.contains(reason), qPrintable(answer.reason));
        QCOMPARE(int(answer.kind), kind);
        QCOMPARE(quint32(answer.systemError), systemError);
        QVERIFY(!opening.isUnderWay());
        if (answer.kind != DeviceOpening::Answer::Kind::Opened)
            return;

        // The device is this program's own, and the helper let its copy go.
        const auto device = reinterpret_cast<HANDLE>(answer.handle);
        char text[16] = {};
        DWORD got = 0;
        QVERIFY(ReadFile(device, text, sizeof text, &got, nullptr));
        QCOMPARE(QByteArray(text, int(got)), QByteArray("dialer"));
        QVERIFY(!opensExclusively(path));
        CloseHandle(device);
        QTRY_VERIFY_WITH_TIMEOUT(opensExclusively(path), StartMs);
    }

    // A helper waiting on its device keeps every other opening of that device waiting, even once
    // its own opening has been given up: repeated tries never pile up helpers.
    void oneHelperPerDevice() {
        DeviceOpening::setProgram(standIn());
        const QString device = port(QStringLiteral("port-hang"));
        const QString started = device + ".started";
        DeviceOpening first;
        first.start(device);
        QTRY_COMPARE_WITH_TIMEOUT(lines(started), 1, StartMs);
        DeviceOpening second;
        QSignalSpy answered(&second, &DeviceOpening::answered);
        second.start(device);
        QTest::qWait(300);
        first.cancel();
        QTest::qWait(300);
        QCOMPARE(lines(started), 1);
        QVERIFY(second.isUnderWay());

        QFile release(device + ".release");
        QVERIFY(release.open(QIODevice::WriteOnly));
        QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, StartMs);
        QCOMPARE(lines(started), 2);
        const auto answer = answered.at(0).at(0).value<DeviceOpening::Answer>();
        QCOMPARE(answer.kind, DeviceOpening::Answer::Kind::Refused);
        QCOMPARE(quint32(answer.systemError), quint32(ERROR_SEM_TIMEOUT));
    }
};

QTEST_GUILESS_MAIN(OpeningTest)
#include "tst_opening_win.moc"
