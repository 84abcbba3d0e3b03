// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// "порт не открылся за 0,4 с: открытие ещё не завершено": an opening that had not returned after
// so many milliseconds.
[[nodiscard]] QString openingNotReturned(int waitMs);

// One opening of a serial device, made apart by the opening helper (dialer-open), a small program
// of its own: a driver that holds the opening in the kernel for seconds (a Bluetooth link
// connecting) holds up only the helper, never a thread of this program, and the program ends when
// its work ends. The helper stands in the root folder and carries nothing of the program's; the
// device it opens becomes the caller's, so a device is opened once per use.
//
// There is never more than one helper per device, across every process of the user: an opening
// of a device whose helper is still waiting (started by an earlier opening, here or in another
// run) waits for that helper to end before it starts its own. A helper that answers is reaped at
// once; one that is given up on is reaped when it ends, while the program runs.
class DeviceOpening : public QObject {
    Q_OBJECT

public:
    struct Answer {
        enum class Kind {
            Opened,  // `handle` is the opened device, now the caller's to close
            Refused, // the system refused the opening; `systemError` is its code
            Failed,  // there was no answer: `reason` says why, in words
        };
        Kind kind = Kind::Failed;
        qintptr handle = -1;
        unsigned long systemError = 0;
        QString reason;
    };

    explicit DeviceOpening(QObject *parent = nullptr);
    ~DeviceOpening() override;
    DeviceOpening(const DeviceOpening&) = delete;
    DeviceOpening& operator=(const DeviceOpening&) = delete;

    // Starts opening the device; answered() follows once, unless the opening is cancelled first.
    // Nothing happens while an opening is under way.
    void start(const QString& devicePath);
    // Gives up the opening under way: answered() does not come, and a device that opens after all
    // is closed again by the helper.
    void cancel();
    [[nodiscard]] bool isUnderWay() const;
    // Waits on this thread, for at most waitMs, until the answer has been delivered (through
    // answered(), before this returns); false when it has not come in time. For callers that have
    // nothing else to do meanwhile; the window's thread never calls it.
    bool waitForAnswer(int waitMs);

    // The helper program this program starts: beside it (Windows, and a folder run from where it
    // was built), or in ../lib/dialer-config (the Linux packages). Where none is found, the first
    // place it was looked for, so that the failure names it.
    [[nodiscard]] static QString program();
    // Another helper program (a test's, or an unusual layout's); empty returns to the search.
    static void setProgram(const QString& path);

Q_SIGNALS:
    void answered(const DeviceOpening::Answer& answer);

private:
    void deliver(const Answer& answer);

    struct Private;
    std::unique_ptr<Private> d;
};

Q_DECLARE_METATYPE(DeviceOpening::Answer)

// The places a helper program is looked for, next to the program's own folder, per system.
[[nodiscard]] QStringList openingHelperLocations(const QString& programFolder);
