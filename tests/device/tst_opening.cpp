// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The opening helper and what it answers: a device handed over, the system's refusal, and every
// way a helper can fail to answer, each told in words; one helper per device however many
// openings meet it; nothing of this program's in the helper.

#include "DialerSimulator.h"
#include "HangingOpening.h"
#include "RussianText.h"
#include "device/Opening.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Processes whose parent is this one and whose name is the helper's: the ones not reaped.
int helpersNotReaped() {
    int found = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : entries) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = status.readAll();
        if (text.contains("Name:\tdialer-open\n") &&
            text.contains("\nPPid:\t" + QByteArray::number(::getpid()) + "\n"))
            ++found;
    }
    return found;
}

} // namespace

class OpeningTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_real = DeviceOpening::program();

    // A helper of the test's own: a script standing where the program looks for it.
    QString script(const QString& name, const QByteArray& body) {
        QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        file.write("#!/bin/sh\n" + body + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    static DeviceOpening::Answer open(const QString& device) {
        DeviceOpening opening;
        QSignalSpy answered(&opening, &DeviceOpening::answered);
        opening.start(device);
        if (answered.isEmpty() && !answered.wait(5000))
            return {DeviceOpening::Answer::Kind::Failed, -1, 0, QStringLiteral("no answer")};
        return answered.at(0).at(0).value<DeviceOpening::Answer>();
    }

private Q_SLOTS:
    void cleanup() { DeviceOpening::setProgram(m_real); }

    void answerTellsWhatHappened_data() {
        QTest::addColumn<QString>("helper"); // a script's body, or empty for the real helper
        QTest::addColumn<QString>("device"); // "sim" for a simulated dialer
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("systemError");
        QTest::addColumn<QString>("reason");
        using Kind = DeviceOpening::Answer::Kind;
        QTest::newRow("a device that opens") << ""
                                             << "sim" << int(Kind::Opened) << 0 << "";
        QTest::newRow("a device that is not there")
            << ""
            << "/dev/no-such-dialer" << int(Kind::Refused) << ENOENT << "";
        QTest::newRow("a helper that cannot be started")
            << "missing"
            << "sim" << int(Kind::Failed) << 0 << "не удалось запустить помощника открытия портов";
        QTest::newRow("a helper that ends without its answer")
            << "exit 0"
            << "sim" << int(Kind::Failed) << 0 << "завершился, не ответив";
        QTest::newRow("a helper killed while it waits")
            << "kill -9 $$"
            << "sim" << int(Kind::Failed) << 0 << "завершился, не ответив";
        QTest::newRow("a helper that answers something else")
            << "printf x >&3"
            << "sim" << int(Kind::Failed) << 0 << "ответил не по правилам";
    }
    void answerTellsWhatHappened() {
        QFETCH(QString, helper);
        QFETCH(QString, device);
        QFETCH(int, kind);
        QFETCH(int, systemError);
        QFETCH(QString, reason);
        DialerSimulator sim;
        QVERIFY(sim.open());
        if (helper == "missing")
            DeviceOpening::setProgram(m_dir.filePath("no-such-helper"));
        else if (!helper.isEmpty())
            DeviceOpening::setProgram(script("dialer-open", helper.toUtf8()));
        const DeviceOpening::Answer answer = open(device == "sim" ? sim.portPath() : device);
        QCOMPARE(int(answer.kind), kind);
        QCOMPARE(int(answer.systemError), systemError);
        QVERIFY2(answer.reason.contains(reason), qPrintable(answer.reason));
        QCOMPARE(foreignWords(answer.reason, {DeviceOpening::program()}), QStringList());
        if (answer.kind == DeviceOpening::Answer::Kind::Opened) {
            const int fd = int(answer.handle);
            QVERIFY(::isatty(fd));
            QVERIFY(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
            ::close(fd);
        }
        // A helper that has answered, or ended, is reaped at once.
        QTRY_COMPARE(helpersNotReaped(), 0);
    }

    // However many openings meet a device whose opening hangs, one helper waits for it; the next
    // starts once that one has ended. The helper stands in the root folder with nothing of this
    // program's: no environment, no descriptor but its own.
    void oneHelperPerDeviceHoldingNothingOfTheProgram() {
        DialerSimulator sim;
        QVERIFY(sim.open());
        QFile marker(m_dir.filePath("marker"));
        QVERIFY(marker.open(QIODevice::WriteOnly)); // not closed on exec: the spawn must close it
        QVERIFY(::fcntl(marker.handle(), F_SETFD, 0) == 0);
        HangingOpening hang(sim.portPath(), 10000);
        {
            DeviceOpening first;
            first.start(sim.portPath());
            QTRY_COMPARE(hang.openingsStarted(), 1);
            first.cancel();
        }
        DeviceOpening second;
        QSignalSpy answered(&second, &DeviceOpening::answered);
        second.start(sim.portPath());
        DeviceOpening third;
        third.start(sim.portPath());
        QTest::qWait(300);
        QCOMPARE(hang.openingsStarted(), 1);
        QVERIFY(answered.isEmpty());

        // The helper here is the script, run by the shell: "/bin/sh SCRIPT DEVICE".
        QString helper;
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile line(QStringLiteral("/proc/%1/cmdline").arg(pid));
            const QByteArray words = line.open(QIODevice::ReadOnly) ? line.readAll() : QByteArray();
            if (words.contains("/dialer-open") &&
                words.endsWith('\0' + QFile::encodeName(sim.portPath()) + '\0'))
                helper = pid;
        }
        QVERIFY(!helper.isEmpty());
        QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(helper)), QString("/"));
        QFile environment(QStringLiteral("/proc/%1/environ").arg(helper));
        QVERIFY(environment.open(QIODevice::ReadOnly));
        QCOMPARE(environment.readAll(), QByteArray());
        const QString fds = QStringLiteral("/proc/%1/fd").arg(helper);
        for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System))
            QVERIFY(QFile::symLinkTarget(fds + '/' + fd) != marker.fileName());

        hang.release();
        QVERIFY(answered.wait(5000));
        QCOMPARE(answered.at(0).at(0).value<DeviceOpening::Answer>().kind,
                 DeviceOpening::Answer::Kind::Opened);
        ::close(int(answered.at(0).at(0).value<DeviceOpening::Answer>().handle));
        third.cancel();
    }
};

QTEST_GUILESS_MAIN(OpeningTest)
#include "tst_opening.moc"
