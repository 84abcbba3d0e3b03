// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// Start-up: from process start to the window shown, for the real window and for a bare window
// holding the same controls, measured alternately in one run. The real window starts as a user
// starts it: a settings file beside it and, on Linux, one dialer on the port map, which the
// start-up probe opens. Also the peak resident memory of each at that moment.
//
//   build/bench/bench_startup [rounds]
//
// The platform is whatever QT_QPA_PLATFORM says (xcb under a desktop or Xvfb, offscreen otherwise).

#include "BenchUtil.h"
#include "ui/Form1.h"
#include "ui/FormLayout.h"

#ifdef Q_OS_UNIX
#include "DialerSimulator.h"
#include "PortMapFile.h"
#endif

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

// Reports once the window has painted, then leaves.
class ShownProbe : public QObject {
public:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            QTimer::singleShot(0, this, [] {
                rusage usage{};
                getrusage(RUSAGE_SELF, &usage);
                std::printf("shown %ld\n", usage.ru_maxrss);
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool m_done = false;
};

int child(int argc, char **argv, bool bare) {
    QApplication app(argc, argv);
    ShownProbe probe;
    if (bare) {
        QWidget form;
        FormLayout::build(form);
        form.installEventFilter(&probe);
        form.show();
        return QApplication::exec();
    }
    Form1 form;
    form.Form_Load();
    form.installEventFilter(&probe);
    form.show();
    return QApplication::exec();
}

struct Run {
    double ms = 0;
    long maxRssKiB = 0;
    QString failure; // empty when the child showed its window and ended well
};

Run spawn(const QString& program, const QString& mode, const QString& folder) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start(program, {QStringLiteral("--child"), mode});
    process.waitForReadyRead(30000);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    const QByteArray line = process.readLine().trimmed();
    if (!process.waitForFinished(30000))
        process.kill();
    Run run{ms, line.mid(6).toLong(), {}};
    if (!line.startsWith("shown "))
        run.failure = QStringLiteral("no window was shown");
    else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        run.failure = QStringLiteral("the child ended with status %1").arg(process.exitCode());
    return run;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return child(argc, argv, qstrcmp(argv[2], "bare") == 0);

    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(3, atoi(argv[1])) : 21;
    QTemporaryDir folder;
    {
        QFile settings(folder.filePath(QStringLiteral("Velkor.ini")));
        const QByteArray line = "\"1\",\"2\",\"3\",\"4\",\"5\",\"*100#\"\r\n";
        if (!settings.open(QIODevice::WriteOnly) || settings.write(line) != line.size())
            bench::fail(QStringLiteral("the settings file could not be written"));
    }
#ifdef Q_OS_UNIX
    // The children see only this dialer: the port map lives in their own configuration folder.
    DialerSimulator dialer;
    QString error;
    if (!dialer.open(&error))
        bench::fail(QStringLiteral("no simulated dialer: %1").arg(error));
    const QString configHome = folder.filePath(QStringLiteral("config"));
    if (!writePortMapFile(configHome, {{1, dialer.portPath()}}))
        bench::fail(QStringLiteral("the port map could not be written"));
    qputenv("XDG_CONFIG_HOME", configHome.toLocal8Bit());
#endif
    const QString self = QCoreApplication::applicationFilePath();
    // A figure from runs that failed would mislead: the first failure ends the benchmark.
    const auto checked = [&](const QString& mode, int round) {
        Run run = spawn(self, mode, folder.path());
        if (!run.failure.isEmpty())
            bench::fail(QStringLiteral("the %1 window's run %2 failed: %3")
                            .arg(mode)
                            .arg(round)
                            .arg(run.failure));
        return run;
    };
    checked(QStringLiteral("bare"), 0); // warm the file cache
    checked(QStringLiteral("full"), 0);

    std::vector<double> bareMs, fullMs;
    long bareRss = 0, fullRss = 0;
    for (int i = 1; i <= rounds; ++i) {
        const Run b = checked(QStringLiteral("bare"), i);
        const Run f = checked(QStringLiteral("full"), i);
        bareMs.push_back(b.ms);
        fullMs.push_back(f.ms);
        bareRss = std::max(bareRss, b.maxRssKiB);
        fullRss = std::max(fullRss, f.maxRssKiB);
    }
    const double bare = median(bareMs);
    const double full = median(fullMs);
    std::printf(
        "Start-up to the window shown, median of %d runs (platform: %s)\n", rounds,
        qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("default")).toUtf8().constData());
    std::printf("  bare window, same controls   %8.1f ms   peak %6ld KiB\n", bare, bareRss);
    std::printf("  dialer-config window         %8.1f ms   peak %6ld KiB\n", full, fullRss);
    std::printf("  ratio %.3f, memory difference %+ld KiB\n", full / bare, fullRss - bareRss);
    return 0;
}
