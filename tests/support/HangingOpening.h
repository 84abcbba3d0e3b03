// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "device/Opening.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <atomic>

// Makes every trial opening of one device hang, as a Bluetooth serial link's does, until released
// or for at most `hangMs`. On leaving scope it releases the opening, waits until it has returned
// and its thread has ended, and takes the seam away.
class HangingOpening {
public:
    explicit HangingOpening(QString devicePath, int hangMs = 5000)
        : m_path(std::move(devicePath)) {
        TrialOpening::setHook([this, hangMs](const QString& path) {
            if (path != m_path)
                return;
            ++m_started;
            QElapsedTimer hung;
            hung.start();
            while (!m_released && hung.elapsed() < hangMs)
                QThread::msleep(5);
            ++m_returned;
        });
    }
    ~HangingOpening() {
        m_released = true;
        (void)QTest::qWaitFor([this] { return m_returned == m_started; }, 10000);
        TrialOpening::setHook({});
        QTest::qWait(50); // the opening thread closes its port, ends and is deleted
    }
    HangingOpening(const HangingOpening&) = delete;
    HangingOpening& operator=(const HangingOpening&) = delete;

    [[nodiscard]] int openingsStarted() const { return m_started; }
    [[nodiscard]] int openingsReturned() const { return m_returned; }
    void release() { m_released = true; }

private:
    QString m_path;
    std::atomic<bool> m_released{false};
    std::atomic<int> m_started{0};
    std::atomic<int> m_returned{0};
};
