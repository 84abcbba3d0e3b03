// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// dialerctl against simulated dialers, each figure a ratio against a baseline of the same run:
//  - `write --verify` on nine ports against the same on one port: the ports run side by side, so
//    nine should take at most 1.10 times as long as one (the floor is two 500 ms windows);
//  - `apply` on nine ports where three differ against `write --verify` on nine: apply reads every
//    dialer first and writes and reads back only the three, so it takes one window more;
//  - `dialerctl ports` over nine mapped ports, process start to exit, and its peak memory, against
//    a bare QCoreApplication that opens and closes the same nine ports.
//
//   build/bench/bench_dialerctl [runs]

#include "DialerSimulator.h"
#include "PortMapFile.h"

#include "BenchUtil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct Measured {
    double ms = 0;
    long peakKiB = 0;
    int exitCode = -1;
};

// Runs a program to its end while this process's simulated dialers keep answering.
Measured measure(const QString& program, const QStringList& arguments) {
    std::vector<QByteArray> owned{program.toLocal8Bit()};
    for (const QString& a : arguments)
        owned.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    argv.reserve(owned.size() + 1);
    for (QByteArray& a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    QElapsedTimer clock;
    clock.start();
    // The programs' own output is not what is measured.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0)
        return {};
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, WNOHANG, &usage) == 0) {
        QCoreApplication::processEvents();
        usleep(100);
    }
    return {double(clock.nsecsElapsed()) / 1e6, usage.ru_maxrss,
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const QString dir = QCoreApplication::applicationDirPath();
    const QString dialerctl = dir + QStringLiteral("/../src/dialerctl/dialerctl");
    const QString bare = dir + QStringLiteral("/bare_ports");

    std::vector<std::unique_ptr<DialerSimulator>> devices;
    QMap<int, QString> ports;
    QStringList paths;
    for (int n = 1; n <= 9; ++n) {
        devices.push_back(std::make_unique<DialerSimulator>());
        if (!devices.back()->open())
            bench::fail(QStringLiteral("no pseudo-terminal for a simulated dialer"));
        ports.insert(n, devices.back()->portPath());
        paths << devices.back()->portPath();
    }
    QTemporaryDir config;
    if (!writePortMapFile(config.path(), ports))
        bench::fail(QStringLiteral("the port map could not be written"));
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");

    const QStringList write{QStringLiteral("write"), QStringLiteral("--values"),
                            QStringLiteral("1,2,3,4,5,*6#"), QStringLiteral("--verify")};
    QStringList nine;
    for (int n = 1; n <= 9; ++n)
        nine << QStringLiteral("--port") << QStringLiteral("COM%1").arg(n);

    const QStringList apply{QStringLiteral("apply"), QStringLiteral("--values"),
                            QStringLiteral("1,2,3,4,5,*6#")};
    std::vector<double> one, all, applied, listed, baseline;
    long listedKiB = 0, baselineKiB = 0;
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so that a busy moment of the machine weighs on both sides alike.
        const Measured a = measure(
            dialerctl, write + QStringList{QStringLiteral("--port"), QStringLiteral("COM1")});
        const Measured b = measure(dialerctl, write + nine);
        for (std::size_t n = 0; n < 3; ++n)
            devices[n]->setValues({"1", "2", "3", "4", "5", "*7#"});
        const Measured e = measure(dialerctl, apply + nine);
        const Measured c = measure(dialerctl, {QStringLiteral("ports")});
        const Measured d = measure(bare, paths);
        const std::pair<const Measured *, const char *> named[] = {
            {&a, "write --verify on one port"},
            {&b, "write --verify on nine ports"},
            {&c, "dialerctl ports"},
            {&d, "the bare program"},
            {&e, "apply on nine ports"}};
        for (const auto& [run, name] : named) {
            if (run->exitCode != 0)
                bench::fail(QStringLiteral("round %1: %2 exited with status %3")
                                .arg(i + 1)
                                .arg(QString::fromUtf8(name))
                                .arg(run->exitCode));
        }
        one.push_back(a.ms);
        all.push_back(b.ms);
        applied.push_back(e.ms);
        listed.push_back(c.ms);
        baseline.push_back(d.ms);
        listedKiB = std::max(listedKiB, c.peakKiB);
        baselineKiB = std::max(baselineKiB, d.peakKiB);
    }
    const double ratio = median(all) / median(one);
    std::printf("dialerctl, median of %d runs each\n", runs);
    std::printf("  write --verify, one port    %8.1f ms\n", median(one));
    std::printf("  write --verify, nine ports  %8.1f ms   x%.3f of one port (target <= 1.10)\n",
                median(all), ratio);
    std::printf("  apply, nine ports, three differ  %8.1f ms   x%.3f of write --verify on nine\n",
                median(applied), median(applied) / median(all));
    std::printf("  bare QCoreApplication opening and closing nine ports  %6.1f ms  peak %ld KiB\n",
                median(baseline), baselineKiB);
    std::printf("  dialerctl ports over nine mapped ports                %6.1f ms  peak %ld KiB"
                "   x%.2f time, +%ld KiB\n",
                median(listed), listedKiB, median(listed) / median(baseline),
                listedKiB - baselineKiB);
    return ratio <= 1.10 ? 0 : 2;
}
