// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

// "порт не открылся за 0,4 с: открытие ещё не завершено": an opening that had not returned after
// so many milliseconds.
[[nodiscard]] QString openingNotReturned(int waitMs);

// One opening and closing of a device, made away from the caller as a first try before the port
// is opened for real, so that a driver that takes its time (a Bluetooth link, an rfcomm device
// connecting) holds up nobody: neither the caller's thread nor the end of the process. Where the
// system allows, the trial is a child process of its own, which may outlive the program: a thread
// held in the kernel by an opening would keep the whole process from ending until it returned.
//
// A device whose trial has not returned yet is not opened a second time meanwhile, whichever probe
// or exchange started it: a later trial of that device waits for the one under way.
class TrialOpening {
public:
    [[nodiscard]] static std::shared_ptr<TrialOpening> start(const QString& devicePath);

    // Whether the opening has returned; thread-safe.
    [[nodiscard]] bool returned() const;

    // Waits until each of the trials has returned, or for at most waitMs.
    static void waitForAll(const QList<std::shared_ptr<TrialOpening>>& trials, int waitMs);

    // A seam through which a test makes an opening take as long as a slow driver's: while a hook
    // is set, each trial runs it with the device's path on a thread of its own, then opens.
    // Thread-safe.
    using Hook = std::function<void(const QString& devicePath)>;
    static void setHook(Hook hook);

    // One opening under way in the system, shared by every trial of its device.
    struct Attempt {
        virtual ~Attempt() = default;
        // Never blocks; once true, stays true.
        [[nodiscard]] virtual bool returned() = 0;
    };

private:
    std::shared_ptr<Attempt> m_attempt;
};
