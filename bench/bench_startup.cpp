// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// Start-up: from process start to the window shown, for the real window (settings loaded, ports
// probed) and for a bare window holding the same controls, measured alternately in one run.
// Also the peak resident memory of each at that moment.
//
//   build/bench/bench_startup [rounds]
//
// The platform is whatever QT_QPA_PLATFORM says (xcb under a desktop or Xvfb, offscreen otherwise).

#include "ui/Form1.h"
#include "ui/FormLayout.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
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
    double ms;
    long maxRssKiB;
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
    process.waitForFinished(30000);
    return {ms, line.startsWith("shown ") ? line.mid(6).toLong() : -1};
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
        if (settings.open(QIODevice::WriteOnly))
            settings.write("\"1\",\"2\",\"3\",\"4\",\"5\",\"*100#\"\r\n");
    }
    const QString self = QCoreApplication::applicationFilePath();
    spawn(self, QStringLiteral("bare"), folder.path()); // warm the file cache
    spawn(self, QStringLiteral("full"), folder.path());

    std::vector<double> bareMs, fullMs;
    long bareRss = 0, fullRss = 0;
    for (int i = 0; i < rounds; ++i) {
        const Run b = spawn(self, QStringLiteral("bare"), folder.path());
        const Run f = spawn(self, QStringLiteral("full"), folder.path());
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
