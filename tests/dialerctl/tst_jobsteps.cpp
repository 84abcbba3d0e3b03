// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The decisions of one port's job, without a port or an event loop: each row scripts how the
// exchanges end and reads what the job ran, how it ended and what its result says went out.

#include "TestSupport.h"
#include "dialerctl/JobSteps.h"

#include <QTest>

using namespace dialerctl;

namespace {

QStringList held() {
    return {"101", "202", "303", "404", "505", "*7#"};
}
// What the job is asked to write, by --set free=*9# or as six values.
QStringList wanted() {
    return {"101", "202", "303", "404", "505", "*9#"};
}

// How the scripted exchange ends: "read:a,b,c,d,e,f" (a read response), "ok", "silent",
// "garbage", "busy", "lost", "partial"; "cut" interrupts while its answer is awaited, "pause"
// before its command goes out. A read response or the acknowledgement is judged as the job's
// exchanges judge it: as the answer to the command that went out.
JobSteps::Ending ending(const QString& script, Step step) {
    JobSteps::Ending e;
    const Sent sent = step == Step::Write ? Sent::SaveCommand : Sent::ReadRequest;
    if (script.startsWith("read:")) {
        e.verdict = judgeAnswer(sent, "!" + script.sliced(5) + ",\r\n");
    } else if (script == "ok") {
        e.verdict = judgeAnswer(sent, u"OK\r\n");
    } else if (script == "silent") {
        e.verdict = Verdict{Outcome::NoAnswer, std::nullopt};
    } else if (script == "garbage") {
        e.verdict = Verdict{Outcome::CheckFields, std::nullopt};
    } else if (script == "busy") {
        e.portError = SerialPort::Error::Busy;
    } else if (script == "partial") {
        e.portError = SerialPort::Error::PartialWrite;
    } else if (script == "lost") {
        e.verdict = Verdict{Outcome::CheckFields, std::nullopt};
        e.lost = "связь с портом потеряна";
    }
    e.message = "as the window says it";
    return e;
}

bool commandWentOut(const QString& script) {
    return script != "busy" && script != "pause";
}

QString stepName(Step step) {
    return step == Step::Read ? "read" : step == Step::Write ? "write" : "verify";
}

QString shown(const std::optional<DialerSettings>& values) {
    return values ? ::values(*values).join(',') : "-";
}

} // namespace

class JobStepsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void jobRunsTheStepsItsEndingsCallFor_data() {
        QTest::addColumn<QStringList>("options"); // command, then flags
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QString>("ran");     // step/quiet ms
        QTest::addColumn<QString>("logged");  // outcome of each exchange
        QTest::addColumn<QString>("outcome"); // and reason
        QTest::addColumn<bool>("saveSent");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QString>("after");
        const QString read = "read:" + held().join(',');
        const QString readBack = "read:" + wanted().join(',');
        const QString was = held().join(','), now = wanted().join(',');
        QTest::newRow("read") << QStringList{"read"} << QStringList{read} << "read"
                              << "read"
                              << "read" << false << false << was;
        QTest::newRow("a retry after silence waits a whole window")
            << QStringList{"read", "retries=1"} << QStringList{"silent", read} << "read read/500"
            << "no-answer read"
            << "read" << false << false << was;
        QTest::newRow("retries run out") << QStringList{"read", "retries=1"}
                                         << QStringList{"garbage", "garbage"} << "read read/500"
                                         << "check-fields check-fields"
                                         << "check-fields check-fields" << false << false << "-";
        QTest::newRow("a read answered with the acknowledgement is no reading")
            << QStringList{"read"} << QStringList{"ok"} << "read"
            << "check-fields"
            << "check-fields check-fields" << false << false << "-";
        QTest::newRow("write without verify")
            << QStringList{"write"} << QStringList{"ok"} << "write"
            << "saved"
            << "saved" << true << true << now;
        QTest::newRow("write, read back another value")
            << QStringList{"write", "verify"} << QStringList{"ok", read} << "write verify/100"
            << "saved read"
            << "mismatch mismatch" << true << true << was;
        QTest::newRow("a save answered with six values is no save")
            << QStringList{"write"} << QStringList{readBack} << "write"
            << "check-fields"
            << "check-fields check-fields" << true << false << "-";
        QTest::newRow("a write that went out in part")
            << QStringList{"write"} << QStringList{"partial"} << "write"
            << "port-error"
            << "port-error partial" << true << false << "-";
        QTest::newRow("apply: the same values")
            << QStringList{"apply"} << QStringList{readBack} << "read"
            << "read"
            << "unchanged" << false << false << now;
        QTest::newRow("apply: written and read back")
            << QStringList{"apply"} << QStringList{read, "ok", readBack}
            << "read write/100 verify/100"
            << "read saved read"
            << "changed" << true << true << now;
        QTest::newRow("apply --check writes nothing")
            << QStringList{"apply", "check"} << QStringList{read} << "read"
            << "read"
            << "would-change" << false << false << now;
        QTest::newRow("apply keeps the old values first")
            << QStringList{"apply", "backup"} << QStringList{read, "ok", readBack}
            << "read backup write/100 verify/100"
            << "read saved read"
            << "changed" << true << true << now;
        QTest::newRow("a backup that cannot be kept: nothing written")
            << QStringList{"apply", "backup", "backup-fails"} << QStringList{read} << "read backup"
            << "read"
            << "refused backup" << false << false << was;
        QTest::newRow("a silent dialer is never written")
            << QStringList{"apply"} << QStringList{"silent"} << "read"
            << "no-answer"
            << "no-answer no-answer" << false << false << "-";
        QTest::newRow("a port lost during the save's answer: the dialer may hold it")
            << QStringList{"apply"} << QStringList{read, "lost"} << "read write/100"
            << "read port-error"
            << "port-error lost" << true << false << "-";
        QTest::newRow("a busy port") << QStringList{"read"} << QStringList{"busy"} << "read"
                                     << "port-error"
                                     << "port-error busy" << false << false << "-";
        QTest::newRow("another adapter: nothing sent")
            << QStringList{"apply", "expect=A1"} << QStringList{} << ""
            << ""
            << "refused identity" << false << false << "-";
        QTest::newRow("interrupted before the job began")
            << QStringList{"apply", "interrupt-first"} << QStringList{} << ""
            << ""
            << "interrupted interrupted" << false << false << "-";
        QTest::newRow("interrupted before the write went out")
            << QStringList{"apply"} << QStringList{read, "pause"} << "read write/100"
            << "read"
            << "interrupted interrupted" << false << false << was;
        QTest::newRow("interrupted while the save's answer was awaited")
            << QStringList{"apply"} << QStringList{read, "cut"} << "read write/100"
            << "read interrupted"
            << "interrupted interrupted" << true << false << "-";
        QTest::newRow("interrupted while the read back was awaited")
            << QStringList{"apply"} << QStringList{read, "ok", "cut"} << "read write/100 verify/100"
            << "read saved interrupted"
            << "interrupted interrupted" << true << false << "-";
    }
    void jobRunsTheStepsItsEndingsCallFor() {
        QFETCH(QStringList, options);
        QFETCH(QStringList, script);
        QFETCH(QString, ran);
        QFETCH(QString, logged);
        QFETCH(QString, outcome);
        QFETCH(bool, saveSent);
        QFETCH(bool, changed);
        QFETCH(QString, after);

        PortPlan plan;
        const QString command = options.takeFirst();
        plan.command = command == "read"    ? Command::Read
                       : command == "write" ? Command::Write
                                            : Command::Apply;
        plan.source = command == "write" ? ValueSource::List : ValueSource::Set;
        plan.values = record(wanted());
        plan.changes = {{5, "*9#"}};
        plan.verify = options.contains("verify") || plan.command == Command::Apply;
        plan.check = options.contains("check");
        plan.retries = options.contains("retries=1") ? 1 : 0;
        if (options.contains("backup"))
            plan.backupFile = "Velkor.ini";
        if (options.contains("expect=A1"))
            plan.expectSerial = "A1";
        PortMap::Adapter adapter;
        adapter.serialNumber = "B2";
        JobSteps steps({"COM1", "/dev/ttyUSB0", 1}, plan, adapter, "COM1 (/dev/ttyUSB0)");

        QStringList ranSteps, log;
        JobSteps::Action action;
        if (options.contains("interrupt-first"))
            QVERIFY(!steps.interrupt("SIGTERM", JobSteps::Interrupted::BeforeStart));
        else
            action = steps.start();
        qsizetype next = 0;
        while (!steps.isFinished()) {
            if (action.kind == JobSteps::Action::Kind::Backup) {
                QCOMPARE(values(action.record), held()); // what the dialer held
                ranSteps << "backup";
                action = steps.backupKept("/backups/Velkor.ini",
                                          options.contains("backup-fails")
                                              ? std::optional<QString>("диск заполнен")
                                              : std::nullopt);
                continue;
            }
            QCOMPARE(action.kind, JobSteps::Action::Kind::Exchange);
            ranSteps << stepName(action.step) +
                            (action.quietMs ? QString("/%1").arg(action.quietMs) : QString());
            QVERIFY2(next < script.size(), "the job asked for more exchanges than the script has");
            const QString& end = script[next++];
            if (action.step == Step::Write && commandWentOut(end))
                steps.commandSent();
            if (end == "cut" || end == "pause") {
                const auto where = end == "cut" ? JobSteps::Interrupted::DuringAnswer
                                                : JobSteps::Interrupted::Between;
                if (const std::optional<ExchangeRecord> cut = steps.interrupt("SIGTERM", where))
                    log << name(cut->outcome);
                break;
            }
            const auto [record, then] = steps.ended(ending(end, action.step));
            log << name(record.outcome);
            if (action.step == Step::Write)
                QCOMPARE(shown(record.written), wanted().join(','));
            action = then;
        }
        QVERIFY(steps.isFinished());
        QCOMPARE(next, script.size());
        const PortResult& result = steps.result();
        QCOMPARE(ranSteps.join(' '), ran);
        QCOMPARE(log.join(' '), logged);
        QCOMPARE(QString(name(result.outcome) + ' ' + name(result.reason)).trimmed(), outcome);
        QCOMPARE(result.success, result.reason == Reason::None);
        QCOMPARE(result.saveSent, saveSent);
        QCOMPARE(result.changed, changed);
        QCOMPARE(shown(result.after), after);
        // A save that went out always says what it carried.
        QCOMPARE(result.written.has_value(),
                 saveSent || (log.contains("check-fields") && ran.startsWith("write")));
        QCOMPARE(result.backupFile.isEmpty(), !options.contains("backup") ||
                                                  options.contains("backup-fails") ||
                                                  !ran.contains("write"));
        if (result.outcome == PortOutcome::Interrupted)
            QVERIFY(result.message.startsWith("Прервано (SIGTERM)"));
    }
};

QTEST_GUILESS_MAIN(JobStepsTest)
#include "tst_jobsteps.moc"
