// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "ProcessControl.h"

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <csignal>

#include <windows.h>

namespace dialerctl {

using interruption::g_instance;
using interruption::g_status;

namespace {

HANDLE g_finished = nullptr; // set when the run has finished its record

BOOL WINAPI onConsoleEvent(DWORD event) {
    const bool closing =
        event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    int expected = 0;
    if (g_status.compare_exchange_strong(expected, closing ? 129 : 130))
        QMetaObject::invokeMethod(g_instance, "deliver", Qt::QueuedConnection);
    // Windows ends the process as soon as a close handler returns: hold it until the run is done
    // (the system allows a few seconds).
    if (closing)
        WaitForSingleObject(g_finished, 4500);
    return TRUE;
}

} // namespace

Interruptions::Interruptions(QObject *parent)
    : QObject(parent) {
    g_instance = this;
    g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

Interruptions::~Interruptions() {
    SetEvent(g_finished);
    if (g_status.load() == 0) {
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
        CloseHandle(g_finished);
        g_finished = nullptr;
    }
    // Otherwise a close handler may still be waiting on the event: it is left to the process's end.
    g_instance = nullptr;
}

QString Interruptions::name() const {
    switch (g_status.load()) {
    case 130:
        return QStringLiteral("Ctrl-C");
    case 129:
        return QStringLiteral("the console closing");
    default:
        return {};
    }
}

// Windows raises no signal for a closed pipe: the write fails, and is told.
void reportClosedOutput() {}

int portsAtOnce() {
    return 0;
}

} // namespace dialerctl
