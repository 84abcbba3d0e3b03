// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// dialerctl run as the program it is, against simulated dialers on pseudo-terminals, with a port
// map of the test's own and no display at all.

#include "DialerSimulator.h"
#include "EncodedSettingsFiles.h"
#include "FileRights.h"
#include "HangingFileSystem.h"
#include "HangingOpening.h"
#include "PortMapFile.h"
#include "TestSupport.h"
#include "device/Outcome.h"
#include "device/SerialLine.h"
#include "dialerctl/Targets.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Every command prints one document with the ports in it.
QJsonArray jsonArray(const QByteArray& text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || document["schema"].toInt() != 2)
        qWarning("not a JSON document of schema 2: %s\n%s", qPrintable(error.errorString()),
                 text.constData());
    return document["ports"].toArray();
}

QStringList strings(const QJsonValue& value) {
    QStringList list;
    const QJsonArray array = value.toArray();
    for (const auto& v : array)
        list << v.toString();
    return list;
}

// The child's limit of open files; none when soft is 0.
struct Limit {
    rlim_t soft = 0;
    rlim_t hard = 0;
};

// The opening helpers whose command line names `device` (any, when empty), with whether each is
// this process's child: a helper left behind by a run that has ended comes here, as this process
// takes in the orphans of its children, zombies included.
struct Helper {
    qint64 pid = 0;
    bool ours = false;
};
QList<Helper> helpersOf(const QString& device = {}) {
    QList<Helper> found;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        QFile words(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!status.open(QIODevice::ReadOnly) || !words.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = status.readAll();
        if (!text.contains("Name:\tdialer-open\n") ||
            (!device.isEmpty() && !words.readAll().contains(QFile::encodeName(device))))
            continue;
        found.append(
            {pid.toLongLong(), text.contains("\nPPid:\t" + QByteArray::number(::getpid()) + "\n")});
    }
    return found;
}

// What every simulated dialer holds at first.
QList<QByteArray> stored() {
    return {"101", "202", "303", "404", "505", "*7#"};
}

} // namespace

Q_DECLARE_METATYPE(DialerSimulator::Behaviour)

class DialerctlTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<DialerSimulator>> m_devices;
    QMap<int, QString> m_ports;

    DialerSimulator& addDevice(int port, const DialerSimulator::Behaviour& behaviour = {}) {
        m_devices.push_back(std::make_unique<DialerSimulator>());
        DialerSimulator& device = *m_devices.back();
        if (!device.open())
            qFatal("no pseudo-terminal");
        device.setBehaviour(behaviour);
        device.setValues(stored());
        m_ports.insert(port, device.portPath());
        return device;
    }

    // Runs dialerctl while the simulators keep answering in this process's event loop; `started`
    // may disturb the run, a file limit holds the child to that many descriptors, and a shell
    // command runs it in its place ("$0" "$@" is dialerctl with the arguments).
    Run dialerctl(const QStringList& arguments, const std::function<void(QProcess&)>& started = {},
                  Limit files = {}, const QString& outputFile = {}, const QString& shell = {}) {
        const QString config = m_dir.filePath("config");
        if (!writePortMapFile(config, m_ports))
            qFatal("cannot write the port map");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(display);
        environment.insert("XDG_CONFIG_HOME", config);
        QProcess process;
        process.setProcessEnvironment(environment);
        QSignalSpy finished(&process, &QProcess::finished);
        if (files.soft > 0)
            process.setChildProcessModifier([files] {
                const rlimit limit{files.soft, files.hard};
                ::setrlimit(RLIMIT_NOFILE, &limit);
            });
        if (!outputFile.isEmpty())
            process.setStandardOutputFile(outputFile);
        if (shell.isEmpty())
            process.start(DIALERCTL, arguments);
        else
            process.start("sh", QStringList{"-c", shell, DIALERCTL} + arguments);
        if (started)
            started(process);
        if (!finished.wait(15000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0); }

    void init() {
        m_devices.clear();
        m_ports.clear();
    }

    // A helper a test left waiting ends once its device lets it go, and is reaped here.
    void cleanup() {
        (void)QTest::qWaitFor(
            [] {
                const QList<Helper> left = helpersOf();
                for (const Helper& helper : left) {
                    if (helper.ours)
                        (void)::waitpid(pid_t(helper.pid), nullptr, WNOHANG);
                }
                return std::none_of(left.cbegin(), left.cend(),
                                    [](const Helper& h) { return h.ours; });
            },
            5000);
    }

    // A reader that has gone away (a closed pipe) is told in words, with exit status 1.
    void closedOutputIsToldInWords() {
        addDevice(1);
        const Run run = dialerctl({"read", "--port", "COM1", "--json"}, {}, {}, {},
                                  R"({ "$0" "$@"; echo "status $?" >&2; } | true)");
        QVERIFY2(run.err.contains("the output could not be written") &&
                     run.err.endsWith("status 1\n"),
                 run.err.constData());
    }

    // Runs against a port whose opening the kernel holds each end at the deadline; the device is
    // waited for by one helper, however many runs meet it, and that helper holds nothing of
    // theirs: no values on its command line, no environment, the root folder.
    void runsAgainstAHangingPortLeaveOneHelperHoldingNothing() {
        const HangingFileSystem hanging(60);
        QVERIFY(hanging.isMounted());
        m_ports.insert(2, hanging.portPath());
        for (int i = 0; i < 4; ++i) {
            QElapsedTimer took;
            took.start();
            const Run run =
                dialerctl({"write", "--port", "COM2", "--values", "5550101,2,3,4,5,*6#", "--json"});
            QVERIFY2(took.elapsed() < 5000, qPrintable(QString::number(took.elapsed())));
            QCOMPARE(run.exitCode, 1);
            QCOMPARE(jsonArray(run.out).at(0)["reason"].toString(), QString("timeout"));
        }
        const QList<Helper> waiting = helpersOf(hanging.portPath());
        QCOMPARE(waiting.size(), 1);
        const QString process = QStringLiteral("/proc/%1/").arg(waiting[0].pid);
        QCOMPARE(QFile::symLinkTarget(process + "cwd"), QString("/"));
        QFile words(process + "cmdline");
        QVERIFY(words.open(QIODevice::ReadOnly));
        QVERIFY(!words.readAll().contains("5550101"));
        QFile environment(process + "environ");
        QVERIFY(environment.open(QIODevice::ReadOnly));
        QCOMPARE(environment.readAll(), QByteArray());
    }

    // A run that ends leaves nothing of its own behind, zombies included.
    void runOverNinePortsLeavesNothingBehind() {
        for (int n = 1; n <= 9; ++n)
            addDevice(n);
        const Run run = dialerctl({"read", "--port", "all", "--json"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(jsonArray(run.out).size(), 9);
        const QList<Helper> left = helpersOf();
        QVERIFY(std::none_of(left.cbegin(), left.cend(), [](const Helper& h) { return h.ours; }));
    }

    void portsTellsFreeBusyAndMissing() {
        addDevice(1);
        DialerSimulator& held = addDevice(2);
        m_ports.insert(4, "/dev/no-such-dialer");
        QSerialPort holder(held.portPath());
        QVERIFY(holder.open(QIODevice::ReadWrite));

        const Run run = dialerctl({"ports", "--json"});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray ports = jsonArray(run.out);
        QCOMPARE(ports.size(), 3);
        const QStringList states{"free", "busy", "missing"};
        const QStringList names{"COM1", "COM2", "COM4"};
        for (qsizetype i = 0; i < ports.size(); ++i) {
            const QJsonObject port = ports[i].toObject();
            QCOMPARE(port["port"].toString(), names[i]);
            QCOMPARE(port["device"].toString(), m_ports.value(names[i].back().digitValue()));
            QCOMPARE(port["state"].toString(), states[i]);
            QCOMPARE(port["reason"].isNull(), i == 0);
            QVERIFY(port["group"].isNull());
            for (const char *key : {"serial", "vid", "pid", "by_id", "description", "manufacturer"})
                QVERIFY2(port["adapter"].toObject().contains(key), key);
        }
        QVERIFY(dialerctl({"ports"}).out.contains("busy"));
        QVERIFY(held.received().isEmpty());
    }

    // `ports` and `--port all` probe as the window does: a port whose opening hangs is reported
    // without holding up the others.
    void portWhoseOpeningHangsIsReportedWithoutWaitingForIt() {
        addDevice(1);
        DialerSimulator& slow = addDevice(2);
        PortMap map;
        for (auto it = m_ports.cbegin(); it != m_ports.cend(); ++it)
            map.setDevice(it.key(), {it.value(), {}});
        HangingOpening hang(slow.portPath());
        QElapsedTimer listing;
        listing.start();
        const QList<dialerctl::PortState> states = dialerctl::listPorts(map);
        QVERIFY2(listing.elapsed() < 2000, qPrintable(QString::number(listing.elapsed())));
        QCOMPARE(states.size(), 2);
        QCOMPARE(states[0].state, QString("free"));
        QCOMPARE(states[1].state, QString("error"));
        QVERIFY2(states[1].reason.contains("не открылся"), qPrintable(states[1].reason));
        const QList<dialerctl::Target> all = dialerctl::selectPorts({"all"}, map);
        QCOMPARE(all.size(), 2);
        QCOMPARE(hang.openingsStarted(), 1);
    }

    // --from reads a settings file by the window's rule: the same values go out on the line.
    void fromReadsEveryEditorsEncodingAsTheWindowDoes_data() { addEncodedSettingsFileRows(); }
    void fromReadsEveryEditorsEncodingAsTheWindowDoes() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, sent);
        DialerSimulator& device = addDevice(1);
        QTemporaryDir dir;
        QFile settings(dir.filePath("Velkor.ini"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(file);
        settings.close();
        const Run run = dialerctl({"write", "--port", "COM1", "--from", settings.fileName()});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(device.received(), sent);
    }

    void readOfAllJudgesEachPortOnItsOwn() {
        DialerSimulator& normal = addDevice(1);
        DialerSimulator& silent = addDevice(2, {.silent = true});
        DialerSimulator& garbage = addDevice(3, {.garbage = true});
        QSerialPort holder(addDevice(4).portPath()); // busy: reported, never left out
        QVERIFY(holder.open(QIODevice::ReadWrite));
        const Run run = dialerctl({"read", "--port", "all", "--json"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.isEmpty(), run.err); // no status lines when stderr is no terminal
        const QJsonArray ports = jsonArray(run.out);
        QCOMPARE(ports.size(), 4);
        QCOMPARE(ports[3].toObject()["outcome"].toString(), "port-error");
        const QStringList outcomes{"read", "no-answer", "check-fields"};
        const QList<Outcome> verdicts{Outcome::Read, Outcome::NoAnswer, Outcome::CheckFields};
        for (qsizetype i = 0; i < 3; ++i) {
            const QJsonObject port = ports[i].toObject();
            QCOMPARE(port["port"].toString(), QString("COM%1").arg(i + 1));
            QCOMPARE(port["outcome"].toString(), outcomes[i]);
            QCOMPARE(port["message"].toString(), outcomeMessage(verdicts[i]));
            QCOMPARE(port.contains("values"), i == 0);
            QVERIFY(!port.contains("written"));
        }
        QCOMPARE(strings(ports[0].toObject()["values"]),
                 QStringList({"101", "202", "303", "404", "505", "*7#"}));
        for (const DialerSimulator *device : {&normal, &silent, &garbage})
            QCOMPARE(device->received(), QByteArray("?6\r\n"));
    }

    void writes_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<DialerSimulator::Behaviour>("behaviour");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QList<QByteArray>>("stored");
        const QStringList write{"write", "--port", "COM1", "--json"};
        const QByteArray save = "!1,2,3,4,5,*6#,\r\n";
        const QList<QByteArray> six{"1", "2", "3", "4", "5", "*6#"};
        QTest::newRow("values") << write + QStringList{"--values", "1,2,3,4,5,*6#"}
                                << DialerSimulator::Behaviour{} << 0 << "saved" << save << six;
        QTest::newRow("settings file")
            << write + QStringList{"--from", "@file"} << DialerSimulator::Behaviour{} << 0
            << "saved" << save << six;
        QTest::newRow("set keeps the other fields")
            << write + QStringList{"--set", "free=*9#", "--set", "PHONE2="}
            << DialerSimulator::Behaviour{} << 0 << "saved"
            << QByteArray("?6\r\n!101,,303,404,505,*9#,\r\n")
            << QList<QByteArray>{"101", "", "303", "404", "505", "*9#"};
        QTest::newRow("verified") << write + QStringList{"--values", "1,2,3,4,5,*6#", "--verify"}
                                  << DialerSimulator::Behaviour{} << 0 << "verified"
                                  << save + "?6\r\n"
                                  << six;
        QTest::newRow("verify finds a field stored altered")
            << write + QStringList{"--values", "1,2,3,4,5,*6#", "--verify"}
            << DialerSimulator::Behaviour{.alterField = 3} << 1 << "mismatch" << save + "?6\r\n"
            << QList<QByteArray>{"1", "2", "3~", "4", "5", "*6#"};
        QTest::newRow("retries recover a dialer that answers the second time")
            << QStringList{"read", "--port", "COM1", "--json", "--retries", "1"}
            << DialerSimulator::Behaviour{.silentFirst = 1} << 0 << "read"
            << QByteArray("?6\r\n?6\r\n") << stored();
        QTest::newRow("a late acknowledgement never counts for the next attempt")
            << write + QStringList{"--values", "1,2,3,4,5,*6#", "--verify", "--retries", "1"}
            << DialerSimulator::Behaviour{.delayMs = 600} << 1 << "no-answer" << save + save << six;
        QTest::newRow("a save answered with six values is not a read")
            << write + QStringList{"--values", "1,2,3,4,5,*6#"}
            << DialerSimulator::Behaviour{.echo = true} << 1 << "check-fields" << save << six;
        QTest::newRow("values lose their leading blanks, as in the window's fields")
            << write + QStringList{"--values", " 1,  2 ,3,4,5,*6#"} << DialerSimulator::Behaviour{}
            << 0 << "saved" << QByteArray("!1,2 ,3,4,5,*6#,\r\n")
            << QList<QByteArray>{"1", "2 ", "3", "4", "5", "*6#"};
        QTest::newRow("a set value loses its leading blanks")
            << write + QStringList{"--set", "free=  *9#"} << DialerSimulator::Behaviour{} << 0
            << "saved" << QByteArray("?6\r\n!101,202,303,404,505,*9#,\r\n")
            << QList<QByteArray>{"101", "202", "303", "404", "505", "*9#"};
        QTest::newRow("a line that echoes gives no reading, however often tried")
            << QStringList{"read", "--port", "COM1", "--json", "--retries", "1"}
            << DialerSimulator::Behaviour{.echo = true} << 1 << "check-fields"
            << QByteArray("?6\r\n?6\r\n") << stored();
        QTest::newRow("a COM name beyond the nine reaches no dialer, COM1 least of all")
            << QStringList{"read", "--port", "COM12", "--json"} << DialerSimulator::Behaviour{} << 1
            << "port-error" << QByteArray() << stored();
        QTest::newRow("without retries that dialer gives no answer")
            << QStringList{"read", "--port", "COM1", "--json"}
            << DialerSimulator::Behaviour{.silentFirst = 1} << 1 << "no-answer"
            << QByteArray("?6\r\n") << stored();
    }
    void writes() {
        QFETCH(QStringList, arguments);
        QFETCH(DialerSimulator::Behaviour, behaviour);
        QFETCH(int, exitCode);
        QFETCH(QString, outcome);
        QFETCH(QByteArray, received);
        QFETCH(QList<QByteArray>, stored);
        DialerSimulator& device = addDevice(1, behaviour);
        const QString file = m_dir.filePath("Velkor.ini");
        QVERIFY(SettingsStore(file).Save(record({"1", "2", "3", "4", "5", "*6#"})).ok());
        arguments.replaceInStrings("@file", file);

        const Run run = dialerctl(arguments);
        QCOMPARE(run.exitCode, exitCode);
        const QJsonArray ports = jsonArray(run.out);
        QCOMPARE(ports.size(), 1);
        const QJsonObject port = ports[0].toObject();
        QCOMPARE(port["outcome"].toString(), outcome);
        QCOMPARE(device.received(), received);
        QCOMPARE(device.values(), stored);
        if (arguments.first() == "write") {
            const QStringList written = strings(port["written"]);
            QCOMPARE(written.size(), 6);
            QCOMPARE(port.contains("values"),
                     outcome == "verified" || outcome == "mismatch" || arguments.contains("--set"));
        }
    }

    // apply writes only where the dialer's values differ, and reads back what it wrote.
    void apply_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input"); // standard input
        QTest::addColumn<DialerSimulator::Behaviour>("behaviour");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<bool>("saveSent");
        const QStringList apply{"apply", "--port", "COM1", "--json"};
        const QByteArray read = "?6\r\n";
        const QByteArray saveFree = "!101,202,303,404,505,*9#,\r\n";
        const DialerSimulator::Behaviour plain;
        QTest::newRow("the same values: nothing written")
            << apply + QStringList{"--values", "101,202,303,404,505,*7#"} << QByteArray() << plain
            << 0 << "unchanged"
            << "" << read << false << false;
        QTest::newRow("a field differs: written and read back")
            << apply + QStringList{"--set", "free=*9#"} << QByteArray() << plain << 0 << "changed"
            << "" << read + saveFree + read << true << true;
        QTest::newRow("check only reads")
            << apply + QStringList{"--check", "--values", "1,2,3,4,5,6"} << QByteArray() << plain
            << 0 << "would-change"
            << "" << read << false << false;
        QTest::newRow("six values on standard input")
            << apply + QStringList{"--values", "-"} << QByteArray("101,202,303,404,505,*9#\r\n")
            << plain << 0 << "changed"
            << "" << read + saveFree + read << true << true;
        QTest::newRow("fields on standard input")
            << apply + QStringList{"--set", "-"} << QByteArray("free=*9#\nphone1=101\n") << plain
            << 0 << "changed"
            << "" << read + saveFree + read << true << true;
        QTest::newRow("a field stored altered")
            << apply + QStringList{"--set", "free=*9#"} << QByteArray()
            << DialerSimulator::Behaviour{.alterField = 6} << 1 << "mismatch"
            << "mismatch" << read + saveFree + read << true << true;
        QTest::newRow("a silent dialer is never written")
            << apply + QStringList{"--set", "free=*9#"} << QByteArray()
            << DialerSimulator::Behaviour{.silent = true} << 1 << "no-answer"
            << "no-answer" << read << false << false;
        QTest::newRow("an adapter without the expected serial is not touched")
            << apply + QStringList{"--set", "free=*9#", "--expect-serial", "A1"} << QByteArray()
            << plain << 1 << "refused"
            << "identity" << QByteArray() << false << false;
    }
    void apply() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(DialerSimulator::Behaviour, behaviour);
        QFETCH(int, exitCode);
        QFETCH(QString, outcome);
        QFETCH(QString, reason);
        QFETCH(QByteArray, received);
        QFETCH(bool, changed);
        QFETCH(bool, saveSent);
        DialerSimulator& device = addDevice(1, behaviour);
        const Run run = dialerctl(arguments, [&input](QProcess& process) {
            process.write(input);
            process.closeWriteChannel();
        });
        QCOMPARE(run.exitCode, exitCode);
        const QJsonObject port = jsonArray(run.out).at(0).toObject();
        QCOMPARE(port["outcome"].toString(), outcome);
        QCOMPARE(port["reason"].toString(), reason);
        QCOMPARE(port["changed"].toBool(), changed);
        QCOMPARE(port["save_sent"].toBool(), saveSent);
        QCOMPARE(device.received(), received);
        for (const char *key : {"serial", "vid", "pid", "by_id"})
            QVERIFY2(port["adapter"].toObject().contains(key), key);
        // What the dialer held, and what it holds now or would hold, wherever that is known.
        if (!received.isEmpty() && !behaviour.silent)
            QCOMPARE(strings(port["before"]),
                     QStringList({"101", "202", "303", "404", "505", "*7#"}));
        if (outcome != "no-answer" && outcome != "refused")
            QCOMPARE(strings(port["after"]).size(), 6);
        if (outcome == "mismatch")
            QCOMPARE(strings(port["after"]).at(5), QString("*9#~"));
    }

    // A run keeps to the map it is given, whoever runs it, and a port another run holds is waited
    // for when asked.
    void portMapAndBusyPortOfTheRun_data() {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("reason");
        QTest::newRow("busy, not waited for") << QStringList{} << "port-error"
                                              << "busy";
        QTest::newRow("busy, waited for") << QStringList{"--wait-busy", "5"} << "changed"
                                          << "";
    }
    void portMapAndBusyPortOfTheRun() {
        QFETCH(QStringList, extra);
        QFETCH(QString, outcome);
        QFETCH(QString, reason);
        DialerSimulator& users = addDevice(1);
        DialerSimulator target;
        QVERIFY(target.open());
        target.setValues(stored());
        QFile runMap(m_dir.filePath("run-ports.ini"));
        QVERIFY(runMap.open(QIODevice::WriteOnly | QIODevice::Truncate));
        runMap.write("[ports]\nCOM1=" + target.portPath().toLocal8Bit() + '\n');
        runMap.close();
        QSerialPort holder(target.portPath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        QTimer::singleShot(700, &holder, [&holder] { holder.close(); });
        const Run run = dialerctl(QStringList{"apply", "--port", "COM1", "--port-map",
                                              runMap.fileName(), "--set", "free=*9#", "--json"} +
                                  extra);
        const QJsonObject port = jsonArray(run.out).at(0).toObject();
        QCOMPARE(port["outcome"].toString(), outcome);
        QCOMPARE(port["reason"].toString(), reason);
        QCOMPARE(port["device"].toString(), target.portPath());
        QCOMPARE(users.received(), QByteArray());
    }

    // A script that asked for JSON gets it whatever happened, a usage error included.
    void usageErrorIsToldInTheJsonToo() {
        const Run run = dialerctl({"apply", "--port", "COM1", "--json", "--values", "1,2"});
        QCOMPARE(run.exitCode, 2);
        const QJsonDocument document = QJsonDocument::fromJson(run.out);
        QCOMPARE(document["schema"].toInt(), 2);
        QCOMPARE(document["error"]["reason"].toString(), "usage");
        QVERIFY(run.err.startsWith("dialerctl: "));
        const Run other = dialerctl({"read", "--json", "--schema", "3"});
        QCOMPARE(other.exitCode, 2);
        QCOMPARE(QJsonDocument::fromJson(other.out)["error"]["reason"].toString(), "schema");
    }

    void refusalsSendNothingAnywhere_data() {
        QTest::addColumn<QStringList>("arguments");
        const QStringList write{"write", "--port", "COM1", "--port", "COM2"};
        QTest::newRow("comma in a set value") << write + QStringList{"--set", "free=1,2"};
        QTest::newRow("line break in a value") << write + QStringList{"--values", "1\r,2,3,4,5,6"};
        QTest::newRow("outside windows-1251") << write + QStringList{"--set", "phone1=\u4e2d"};
        QTest::newRow("settings file with a comma in a value")
            << write + QStringList{"--from", "@comma"};
        QTest::newRow("settings file cut short") << write + QStringList{"--from", "@short"};
        QTest::newRow("UTF-16 settings file cut short") << write + QStringList{"--from", "@utf16"};
        QTest::newRow("settings file with a BOM, a value unquoted")
            << write + QStringList{"--from", "@bom"};
        QTest::newRow("settings file with a bare value")
            << write + QStringList{"--from", "@unquoted"};
        QTest::newRow("no such settings file") << write + QStringList{"--from", "@missing"};
        QTest::newRow("five values") << write + QStringList{"--values", "1,2,3,4,5"};
        QTest::newRow("two sources") << write + QStringList{"--values", ",,,,,", "--set", "free="};
        QTest::newRow("unknown field") << write + QStringList{"--set", "phone6=1"};
        QTest::newRow("write without a port") << QStringList{"write", "--values", ",,,,,"};
        QTest::newRow("ini of two ports")
            << QStringList{"read", "--ini", "--log", "@log"}; // and no log file made
        QTest::newRow("unknown option") << QStringList{"read", "--fast"};
        QTest::newRow("log that cannot be opened")
            << QStringList{"read", "--log", "/no-such-folder/log"};
        QTest::newRow("log through a link in a folder others may write to")
            << QStringList{"read", "--port", "COM1", "--log", "@sharedlink"};
        // A guard left empty (a template variable that rendered empty) never switches itself off.
        QTest::newRow("empty expected serial")
            << write + QStringList{"--values", ",,,,,", "--expect-serial", ""};
        QTest::newRow("empty port map")
            << write + QStringList{"--values", ",,,,,", "--port-map", ""};
        QTest::newRow("empty log") << write + QStringList{"--values", ",,,,,", "--log", ""};
        QTest::newRow("empty backup")
            << QStringList{"apply", "--port", "COM1", "--set", "free=1", "--backup", ""};
        QTest::newRow("documents of another schema")
            << write + QStringList{"--values", ",,,,,", "--schema", "3"};
        QTest::newRow("a wait that is no number")
            << write + QStringList{"--values", ",,,,,", "--wait-busy", "nan"};
        QTest::newRow("a backup of every port")
            << QStringList{"apply", "--port", "all", "--set", "free=1", "--backup", "@log"};
    }
    void refusalsSendNothingAnywhere() {
        QFETCH(QStringList, arguments);
        DialerSimulator& first = addDevice(1);
        DialerSimulator& second = addDevice(2);
        QVERIFY(SettingsStore(m_dir.filePath("comma.ini"))
                    .Save(record({"1", "2,3", "4", "5", "6", "7"}))
                    .ok());
        // Files in an editor's encoding are read as the window reads them, and refused for what
        // they hold.
        const QByteArray fewer = "\"1\",\"2\",\"3\"\r\n";
        QByteArray utf16;
        for (const char c : fewer)
            utf16 += QByteArray(1, c) + '\0';
        const QMap<QString, QByteArray> files{{"short", "\"1\",\"2\",\"3\"\r\n"},
                                              {"utf16", "\xff\xfe" + utf16},
                                              {"bom", "\xef\xbb\xbf"
                                                      "1,\"2\",\"3\",\"4\",\"5\",\"6\"\r\n"},
                                              {"unquoted", "1,\"2\",\"3\",\"4\",\"5\",\"6\"\r\n"}};
        for (const auto& [name, bytes] : files.asKeyValueRange()) {
            QFile file(m_dir.filePath(name + ".ini"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
            arguments.replaceInStrings('@' + name, file.fileName());
        }
        arguments.replaceInStrings("@comma", m_dir.filePath("comma.ini"));
        arguments.replaceInStrings("@missing", m_dir.filePath("missing.ini"));
        const QString log = m_dir.filePath("refused.jsonl");
        QFile::remove(log);
        arguments.replaceInStrings("@log", log);
        // A link another user could have pointed anywhere: what it leads to is never written.
        const QString linkedTarget = m_dir.filePath("linked-target.jsonl");
        const QString shared = m_dir.filePath("shared");
        QFile::remove(linkedTarget);
        QVERIFY(QDir(shared).removeRecursively() && QDir().mkpath(shared));
        QVERIFY(QFile::setPermissions(shared, QFile::Permissions(0x7777)));
        QVERIFY(QFile::link(linkedTarget, shared + "/log.jsonl"));
        arguments.replaceInStrings("@sharedlink", shared + "/log.jsonl");

        const Run run = dialerctl(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.startsWith("dialerctl: "));
        QVERIFY(run.out.isEmpty());
        QTest::qWait(50);
        QCOMPARE(first.received(), QByteArray());
        QCOMPARE(second.received(), QByteArray());
        QVERIFY(!QFile::exists(log));
        QVERIFY(!QFile::exists(linkedTarget));
    }

    void iniOutputIsAFileTheWindowLoads() {
        DialerSimulator& device = addDevice(1);
        device.setValues({"  101", "\xdf 8", "", "\"", "505", "*7#"});
        const Run run = dialerctl({"read", "--port", "COM1", "--ini"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.endsWith("\"*7#\"\r\n"));
        QFile file(m_dir.filePath("from-dialerctl.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(run.out);
        file.close();
        const SettingsLoadResult loaded = SettingsStore(file.fileName()).Load();
        QVERIFY(loaded.report.ok());
        QCOMPARE(values(loaded.settings), QStringList({"  101", "Я 8", "", "\"", "505", "*7#"}));

        // A line that echoes the command makes no file at all.
        device.setBehaviour({.echo = true});
        const Run echoed = dialerctl({"read", "--port", "COM1", "--ini"});
        QCOMPARE(echoed.exitCode, 1);
        QCOMPARE(echoed.out, QByteArray());
    }

    void tableShowsWhatADialerSentSafely() {
        addDevice(1).setValues({"a\x1b[2J", "b  ", "c\\d", "\x7f", "5", "*7#"});
        const Run run = dialerctl({"read", "--port", "COM1"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(R"(a\x1b[2J,"b  ",c\\d,\x7f,5,*7#)"), run.out);
        for (const char control : {'\x1b', '\x7f'})
            QVERIFY(!run.out.contains(control));
    }

    void logKeepsOneWholeLinePerPortAndCommand() {
        addDevice(1);
        addDevice(2, {.silent = true});
        const QString log = m_dir.filePath("exchanges.jsonl");
        QFile::remove(log);
        const Run run = dialerctl({"write", "--port", "COM1", "--port", "COM2", "--values",
                                   "1,2,3,4,5,6", "--verify", "--log", log});
        QCOMPARE(run.exitCode, 1);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<QJsonObject> lines;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty())
                lines << QJsonDocument::fromJson(line).object();
        }
        QCOMPARE(lines.size(), 3); // COM1 write and read back, COM2 write
        QMap<QString, QStringList> commands;
        for (const QJsonObject& line : lines) {
            for (const char *key : {"time", "port", "device", "serial", "serialNumber", "command",
                                    "outcome", "values", "written"})
                QVERIFY2(line.contains(key), key);
            QVERIFY(QDateTime::fromString(line["time"].toString(), Qt::ISODateWithMs).isValid());
            QVERIFY(line["time"].toString().endsWith('Z'));
            commands[line["port"].toString()]
                << line["command"].toString() + ' ' + line["outcome"].toString();
        }
        QCOMPARE(commands["COM1"], QStringList({"write saved", "read read"}));
        QCOMPARE(commands["COM2"], QStringList({"write no-answer"}));
    }

    // The log and the backup hold telephone numbers: whatever the umask, only their owner reads
    // them.
    void logAndBackupAreTheOwnersAlone() {
        addDevice(1);
        const QString log = m_dir.filePath("private/exchanges.jsonl");
        const QString backup = m_dir.filePath("private/kept/before.ini");
        QVERIFY(QDir().mkpath(m_dir.filePath("private")));
        const mode_t umaskBefore = umask(022);
        const Run run = dialerctl(
            {"apply", "--port", "COM1", "--set", "free=*9#", "--backup", backup, "--log", log});
        umask(umaskBefore);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(rightsOf(log), QString("owner only"));
        QCOMPARE(rightsOf(backup), QString("owner only"));
    }

    void interruptedSaveIsRecordedAndLeavesNoLock_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl-C") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("session dropped") << SIGHUP;
    }
    void interruptedSaveIsRecordedAndLeavesNoLock() {
        QFETCH(int, signal);
        DialerSimulator& device = addDevice(1, {.delayMs = 300});
        const QString log = m_dir.filePath("interrupted.jsonl");
        QFile::remove(log);
        const Run run = dialerctl(
            {"write", "--port", "COM1", "--values", "1,2,3,4,5,6", "--verify", "--log", log,
             "--json"},
            [&](QProcess& process) {
                connect(&device, &DialerSimulator::commandReceived, &process,
                        [&process, signal] { ::kill(pid_t(process.processId()), signal); });
            });
        QCOMPARE(run.exitCode, 128 + signal);
        const QJsonObject port = jsonArray(run.out).at(0).toObject();
        QCOMPARE(port["outcome"].toString(), "interrupted");
        QCOMPARE(strings(port["written"]), QStringList({"1", "2", "3", "4", "5", "6"}));
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 2); // one whole line, and nothing after its end
        const QJsonObject line = QJsonDocument::fromJson(lines[0]).object();
        QCOMPARE(line["command"].toString(), "write");
        QCOMPARE(line["outcome"].toString(), "interrupted");
        QCOMPARE(strings(line["written"]), QStringList({"1", "2", "3", "4", "5", "6"}));
        const QString lock = SerialLine::lockFilePath(device.portPath());
        QVERIFY(!lock.isEmpty());
        QVERIFY2(!QFile::exists(lock), qPrintable(lock));
        QCOMPARE(device.received(), QByteArray("!1,2,3,4,5,6,\r\n")); // no verify went out
    }

    void logThatCannotBeWrittenFailsTheRun() {
        addDevice(1);
        const Run run =
            dialerctl({"write", "--port", "COM1", "--values", "1,2,3,4,5,6", "--log", "/dev/full"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("dialerctl: --log /dev/full: a line could not be written"),
                 run.err);
        QVERIFY(run.out.contains("saved"));
    }

    void outputThatCannotBeWrittenFailsTheRun_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("ini") << QStringList{"read", "--port", "COM1", "--ini"};
        QTest::newRow("table") << QStringList{"read", "--port", "COM1"};
        QTest::newRow("ports") << QStringList{"ports", "--json"};
    }
    void outputThatCannotBeWrittenFailsTheRun() {
        QFETCH(QStringList, arguments);
        addDevice(1);
        const Run run = dialerctl(arguments, {}, {}, "/dev/full");
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("the output could not be written"), run.err);
    }

    void portLostMidExchangeIsAPortError() {
        DialerSimulator& lost = addDevice(1, {.delayMs = 300});
        addDevice(2);
        connect(&lost, &DialerSimulator::commandReceived, &lost, &DialerSimulator::vanish);
        const Run run = dialerctl({"read", "--port", "COM1", "--port", "COM2", "--json"});
        QCOMPARE(run.exitCode, 1);
        const QJsonArray ports = jsonArray(run.out);
        QCOMPARE(ports.size(), 2);
        QCOMPARE(ports[0].toObject()["outcome"].toString(), "port-error");
        QVERIFY2(ports[0].toObject()["message"].toString().contains("потеряна"),
                 qPrintable(ports[0].toObject()["message"].toString()));
        QCOMPARE(ports[1].toObject()["outcome"].toString(), "read");
    }

    void fleetBeyondTheDescriptorLimitIsReadWhole_data() {
        QTest::addColumn<rlim_t>("hard");
        QTest::newRow("soft limit below the hard one") << rlim_t{4096};
        QTest::newRow("hard limit as low") << rlim_t{48};
    }
    void fleetBeyondTheDescriptorLimitIsReadWhole() {
        QFETCH(rlim_t, hard);
        QStringList arguments{"read", "--json"};
        for (int port = 1; port <= 40; ++port)
            arguments << "--port" << addDevice(port).portPath();
        const Run run = dialerctl(arguments, {}, {48, hard});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray ports = jsonArray(run.out);
        QCOMPARE(ports.size(), 40);
        for (const auto& port : ports)
            QCOMPARE(port.toObject()["outcome"].toString(), "read");
    }

    void needsNeitherQtGuiNorWidgets() {
        QProcess readelf;
        readelf.start("readelf", {"-d", DIALERCTL});
        QVERIFY(readelf.waitForFinished());
        const QByteArray dynamic = readelf.readAllStandardOutput();
        QVERIFY(dynamic.contains("libQt6Core"));
        QVERIFY(!dynamic.contains("libQt6Gui"));
        QVERIFY(!dynamic.contains("libQt6Widgets"));
    }
};

QTEST_GUILESS_MAIN(DialerctlTest)
#include "tst_dialerctl.moc"
