// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The device link against the simulator:
//  - press to verdict over many exchanges with dialer-sim running as a separate process;
//  - the start-up probe of nine mapped ports, against opening and closing the same nine ports
//    with a bare QSerialPort;
//  - the CPU the idle window uses over a few seconds (no polling: it should be none).
//
//   build/bench/bench_exchange [exchanges] [path to dialer-sim]

#include "BenchUtil.h"
#include "DialerSimulator.h"
#include "device/PortDiscovery.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void waitFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void benchExchanges(int count, const QString& simulator) {
    QProcess sim;
    sim.start(simulator, {});
    if (!sim.waitForReadyRead(5000))
        bench::fail(QStringLiteral("the simulator %1 did not start").arg(simulator));
    const QString path = QString::fromLocal8Bit(sim.readLine().trimmed());

    QTemporaryDir dir;
    Form1 form;
    PortMap map;
    map.setDevice(1, {path, {}});
    form.setPortMap(map);
    form.setSettingsStore(SettingsStore(dir.filePath(QStringLiteral("Velkor.ini"))));
    form.setInfoPresenter([](const QString&) {});
    form.Form_Load();
    form.show();

    auto *read = form.findChild<QPushButton *>(QStringLiteral("ReadCMD"));
    auto *save = form.findChild<QPushButton *>(QStringLiteral("SaveCMD"));
    std::vector<double> delays;
    int read_ok = 0, saved_ok = 0;
    QElapsedTimer clock;
    QObject::connect(&form.exchange(), &ExchangeController::verdictReached, [&](const Verdict& v) {
        const Outcome o = v.outcome;
        delays.push_back(double(clock.nsecsElapsed()) / 1e6);
        read_ok += o == Outcome::Read;
        saved_ok += o == Outcome::Saved;
    });
    for (int i = 0; i < count; ++i) {
        QEventLoop ended;
        QObject::connect(&form.exchange(), &ExchangeController::exchangeEnded, &ended,
                         &QEventLoop::quit);
        QTimer::singleShot(5000, &ended, &QEventLoop::quit);
        clock.start();
        (i % 2 ? save : read)->click();
        ended.exec();
    }
    sim.terminate();
    sim.waitForFinished();
    if (int(delays.size()) != count || read_ok + saved_ok != count)
        bench::fail(QStringLiteral("of %1 exchanges against dialer-sim, %2 read and %3 saved")
                        .arg(count)
                        .arg(read_ok)
                        .arg(saved_ok));
    std::sort(delays.begin(), delays.end());
    std::printf("Press to verdict, %zu exchanges against dialer-sim (%d read, %d saved)\n",
                delays.size(), read_ok, saved_ok);
    std::printf("  median %.2f ms, 90th %.2f ms, worst %.2f ms; target 500 ms + 2 / + 10\n",
                delays[delays.size() / 2], delays[delays.size() * 9 / 10], delays.back());
}

void benchProbe() {
    std::vector<std::unique_ptr<DialerSimulator>> devices;
    PortMap map;
    for (int n = 1; n <= 9; ++n) {
        devices.push_back(std::make_unique<DialerSimulator>());
        if (!devices.back()->open())
            bench::fail(QStringLiteral("no pseudo-terminal for a simulated dialer"));
        map.setDevice(n, {devices.back()->portPath(), {}});
    }
    std::vector<double> probeMs, bareMs;
    for (int round = 0; round < 21; ++round) {
        QElapsedTimer clock;
        clock.start();
        for (const auto& device : devices) {
            QSerialPort port(device->portPath());
            port.setBaudRate(115200);
            if (port.open(QIODevice::ReadWrite))
                port.close();
        }
        bareMs.push_back(double(clock.nsecsElapsed()) / 1e6);

        SerialPort port;
        port.setPortMap(map);
        clock.start();
        const QList<ProbedPort> probed = PortDiscovery(port);
        probeMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (std::count_if(probed.begin(), probed.end(), [](auto& p) { return p.opened; }) != 9)
            bench::fail(QStringLiteral("the probe did not open all nine ports"));
    }
    std::sort(probeMs.begin(), probeMs.end());
    std::sort(bareMs.begin(), bareMs.end());
    std::printf("Start-up probe of nine mapped ports, median of 21\n");
    std::printf("  baseline: open and close with QSerialPort  %7.2f ms\n", bareMs[10]);
    std::printf("  PortDiscovery                               %7.2f ms  (x%.2f, target < 20 ms)\n",
                probeMs[10], probeMs[10] / bareMs[10]);

    // Opening the selector's list looks again: the system's ports (here: the map) and the ports
    // not offered yet. Nine offered: nothing to try; nine appearing at once: all nine tried.
    QList<PortMap::Candidate> present;
    for (const auto& device : devices)
        present.append({QStringLiteral("ttyUSB%1").arg(present.size()), device->portPath(), {}});
    std::vector<double> nothingNew, nineNew;
    for (int round = 0; round < 21; ++round) {
        QTemporaryDir dir;
        PortMap current;
        Form1 form;
        form.setSettingsStore(SettingsStore(dir.filePath(QStringLiteral("Velkor.ini"))));
        form.setPortSource([&current] { return current; });
        form.Form_Load();
        auto *selector = form.findChild<QComboBox *>(QStringLiteral("Combo1"));
        current = PortMap::fromDevices(present);
        QElapsedTimer clock;
        clock.start();
        selector->setEnabled(true); // a list that opens, as once a port is offered
        selector->showPopup();
        nineNew.push_back(double(clock.nsecsElapsed()) / 1e6);
        selector->hidePopup();
        clock.start();
        selector->showPopup();
        nothingNew.push_back(double(clock.nsecsElapsed()) / 1e6);
        selector->hidePopup();
        if (selector->count() != 9)
            bench::fail(
                QStringLiteral("the port list holds %1 ports, not nine").arg(selector->count()));
    }
    std::sort(nothingNew.begin(), nothingNew.end());
    std::sort(nineNew.begin(), nineNew.end());
    std::printf("Opening the port list, median of 21\n");
    std::printf("  nine offered, nothing new                   %7.2f ms\n", nothingNew[10]);
    std::printf("  nine new ports found and offered            %7.2f ms  (x%.2f of the probe)\n",
                nineNew[10], nineNew[10] / probeMs[10]);
}

void benchIdle() {
    DialerSimulator device;
    if (!device.open())
        bench::fail(QStringLiteral("no pseudo-terminal for a simulated dialer"));
    QTemporaryDir dir;
    Form1 form;
    PortMap map;
    map.setDevice(1, {device.portPath(), {}});
    form.setPortMap(map);
    form.setSettingsStore(SettingsStore(dir.filePath(QStringLiteral("Velkor.ini"))));
    form.Form_Load();
    form.show();
    QApplication::setActiveWindow(&form);
    waitFor(300);
    // With the caret in a text field Qt blinks it twice a second; without, nothing should run.
    for (const bool caret : {true, false}) {
        if (!caret && QApplication::focusWidget())
            QApplication::focusWidget()->clearFocus();
        waitFor(100);
        const double before = cpuSeconds();
        QElapsedTimer clock;
        clock.start();
        waitFor(5000);
        const double used = cpuSeconds() - before;
        const double seconds = double(clock.elapsed()) / 1000;
        std::printf("Idle window, %s: %.1f ms of CPU over %.1f s (%.3f%%)\n",
                    caret ? "caret blinking in Text1Num" : "no focus", used * 1000, seconds,
                    100 * used / seconds);
    }
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    const QString simulator = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                       : QCoreApplication::applicationDirPath() +
                                             QStringLiteral("/../tools/dialer-sim/dialer-sim");
    benchProbe();
    benchIdle();
    benchExchanges(count, simulator);
    return 0;
}
