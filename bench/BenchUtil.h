// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

// A small timing harness: each case runs in batches long enough for the clock, and the median
// batch gives the time per run. Figures are meant to be read as ratios against a baseline
// measured in the same run, on the same machine.
namespace bench {

template<class T>
inline void keep(const T& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

template<class F>
double nanosecondsPerRun(F&& run, int batches = 21, qint64 batchNs = 5'000'000) {
    qint64 perBatch = 1;
    for (;;) {
        QElapsedTimer clock;
        clock.start();
        for (qint64 i = 0; i < perBatch; ++i)
            run();
        if (clock.nsecsElapsed() >= batchNs / 4 || perBatch > (qint64(1) << 40))
            break;
        perBatch *= 2;
    }
    perBatch = std::max<qint64>(1, perBatch * 4);
    std::vector<double> samples;
    for (int b = 0; b < batches; ++b) {
        QElapsedTimer clock;
        clock.start();
        for (qint64 i = 0; i < perBatch; ++i)
            run();
        samples.push_back(double(clock.nsecsElapsed()) / double(perBatch));
    }
    std::nth_element(samples.begin(), samples.begin() + batches / 2, samples.end());
    return samples[std::size_t(batches / 2)];
}

// A figure from a run that failed would mislead: the benchmark names the run and ends, non-zero.
[[noreturn]] inline void fail(const QString& what) {
    std::fprintf(stderr, "%s: %s; no figures.\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(what));
    std::exit(1);
}

inline void row(const char *name, double ns, double baselineNs) {
    std::printf("  %-46s %12.3f us   x%7.2f\n", name, ns / 1000.0, ns / baselineNs);
}

} // namespace bench
