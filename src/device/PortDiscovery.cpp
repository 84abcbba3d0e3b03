// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "PortDiscovery.h"

#include <QSet>
#include <QThread>

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// One pass for port n on a port object of its own: set the line parameters, open, close.
ProbedPort probeOne(const PortMap& map, int n) {
    SerialPort port;
    port.setPortMap(map);
    // Every step is tried even when an earlier one failed; any failure up to the opening keeps
    // the port off the list.
    const bool settingsOk = port.setSettings(QStringLiteral("115200,N,8,1"));
    const bool portOk = port.setCommPort(static_cast<qint16>(n));
    const bool thresholdOk = port.setRThreshold(1);
    const bool opened = port.setPortOpen(true);

    ProbedPort result;
    result.port = n;
    result.opened = settingsOk && portOk && thresholdOk && opened;
    if (!result.opened) {
        result.error = port.error();
        result.reason = port.errorString();
    }
    if (const std::optional<PortMap::Device> device = map.device(n)) {
        result.devicePath = device->path;
        result.description = device->description;
    }
    (void)port.setPortOpen(false);
    (void)port.setRThreshold(0);
    return result;
}

// What the openings of one probe have answered so far. Shared with the threads that open, which
// may outlive the probe when an opening hangs.
struct ProbeRun {
    std::mutex mutex;
    std::condition_variable answered;
    std::array<std::optional<ProbedPort>, PortMap::LastPort + 1> results;
    int pending = 0;
};

// Devices whose opening has not returned yet, whichever probe started it: such a device is not
// opened a second time meanwhile.
std::mutex openingMutex;
QSet<QString>& opening() {
    static QSet<QString> devices;
    return devices;
}

ProbedPort stillOpening(int n, const PortMap::Device& device) {
    return {n,
            false,
            SerialPort::Error::Timeout,
            openingNotReturned(ProbeWaitMs),
            device.path,
            device.description};
}

} // namespace

QString openingNotReturned(int waitMs) {
    return QStringLiteral("порт не открылся за %1 с: открытие ещё не завершено")
        .arg(QString::number(waitMs / 1000.0, 'f', 1).replace(u'.', u','));
}

struct TrialOpening::State {
    mutable std::mutex mutex;
    bool returned = false;
    QString waitingFor; // another's opening of the device, still under way when this one began
};

std::shared_ptr<TrialOpening> TrialOpening::start(const PortMap& map, int port) {
    auto trial = std::make_shared<TrialOpening>();
    trial->m_state = std::make_shared<State>();
    SerialPort probe;
    probe.setPortMap(map);
    (void)probe.setCommPort(static_cast<qint16>(port));
    const std::optional<PortMap::Device> device = probe.device();
    if (!device) {
        trial->m_state->returned = true; // nothing to open: the opening fails at once
        return trial;
    }
    {
        const std::lock_guard lock(openingMutex);
        if (opening().contains(device->path)) {
            trial->m_state->waitingFor = device->path;
            return trial;
        }
        opening().insert(device->path);
    }
    QThread *thread = QThread::create([state = trial->m_state, map, port, path = device->path] {
        (void)probeOne(map, port);
        {
            const std::lock_guard lock(openingMutex);
            opening().remove(path);
        }
        const std::lock_guard lock(state->mutex);
        state->returned = true;
    });
    // A thread whose opening hangs is left to end on its own; it closes the port as soon as the
    // opening returns.
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return trial;
}

bool TrialOpening::returned() const {
    const std::lock_guard lock(m_state->mutex);
    if (!m_state->waitingFor.isEmpty()) {
        const std::lock_guard openingLock(openingMutex);
        return !opening().contains(m_state->waitingFor);
    }
    return m_state->returned;
}

QList<ProbedPort> PortDiscovery(SerialPort& port) {
    const PortMap map = port.portMap();
    const auto run = std::make_shared<ProbeRun>();
    std::array<QThread *, PortMap::LastPort + 1> threads{};
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
        const std::optional<PortMap::Device> device = map.device(n);
        if (!device) {
            // Nothing to open: the pass fails at once.
            run->results[n] = probeOne(map, n);
            continue;
        }
        {
            const std::lock_guard lock(openingMutex);
            if (opening().contains(device->path)) {
                run->results[n] = stillOpening(n, *device);
                continue;
            }
            opening().insert(device->path);
        }
        ++run->pending;
        QThread *thread = QThread::create([run, map, n, path = device->path] {
            ProbedPort result = probeOne(map, n);
            {
                const std::lock_guard lock(openingMutex);
                opening().remove(path);
            }
            const std::lock_guard lock(run->mutex);
            run->results[n] = std::move(result);
            --run->pending;
            run->answered.notify_all();
        });
        // A thread whose opening hangs is left to end on its own; its port is closed as soon as
        // the opening returns.
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        threads[n] = thread;
        thread->start();
    }

    QList<ProbedPort> probed;
    {
        std::unique_lock lock(run->mutex);
        run->answered.wait_for(lock, std::chrono::milliseconds(ProbeWaitMs),
                               [&run] { return run->pending == 0; });
        for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
            if (run->results[n]) {
                probed.append(*run->results[n]);
                if (QThread *thread = std::exchange(threads[n], nullptr)) {
                    thread->wait();
                    delete thread;
                }
            } else {
                probed.append(stillOpening(n, *map.device(n)));
            }
        }
    }

    // The line parameters stay in force for the exchanges, and the port is left as the last
    // pass leaves it: closed, receive events off.
    (void)port.setSettings(QStringLiteral("115200,N,8,1"));
    (void)port.setCommPort(PortMap::LastPort);
    (void)port.setRThreshold(0);
    return probed;
}

int SelectedPortNumber(QStringView selectorText) {
    if (selectorText.size() < 4)
        return 0;
    const char16_t c = selectorText[3].unicode();
    return c >= u'0' && c <= u'9' ? c - u'0' : 0;
}
