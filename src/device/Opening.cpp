// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Opening_p.h"

#include <QElapsedTimer>
#include <QHash>
#include <QThread>

#include <atomic>
#include <mutex>

namespace {

std::mutex hookMutex;
TrialOpening::Hook& installedHook() {
    static TrialOpening::Hook hook;
    return hook;
}

TrialOpening::Hook currentHook() {
    const std::lock_guard lock(hookMutex);
    return installedHook();
}

// An opening made by a thread of this process, which is left to end on its own when the opening
// hangs.
struct ThreadAttempt : TrialOpening::Attempt {
    std::atomic<bool> done{false};

    bool returned() override { return done.load(); }
};

std::shared_ptr<TrialOpening::Attempt> beginOnThread(const QString& devicePath,
                                                     TrialOpening::Hook hook) {
    auto attempt = std::make_shared<ThreadAttempt>();
    QThread *thread = QThread::create([attempt, devicePath, hook = std::move(hook)] {
        if (hook)
            hook(devicePath);
        OpeningSystem::openAndClose(devicePath);
        attempt->done = true;
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return attempt;
}

// The openings under way, by device; an entry goes once its opening has returned.
std::mutex registryMutex;
QHash<QString, std::shared_ptr<TrialOpening::Attempt>>& underWay() {
    static QHash<QString, std::shared_ptr<TrialOpening::Attempt>> attempts;
    return attempts;
}

} // namespace

QString openingNotReturned(int waitMs) {
    return QStringLiteral("порт не открылся за %1 с: открытие ещё не завершено")
        .arg(QString::number(waitMs / 1000.0, 'f', 1).replace(u'.', u','));
}

void TrialOpening::setHook(Hook hook) {
    const std::lock_guard lock(hookMutex);
    installedHook() = std::move(hook);
}

std::shared_ptr<TrialOpening> TrialOpening::start(const QString& devicePath) {
    auto trial = std::make_shared<TrialOpening>();
    const std::lock_guard lock(registryMutex);
    auto& attempts = underWay();
    attempts.removeIf([](const std::pair<const QString&, std::shared_ptr<Attempt>&>& entry) {
        return entry.second->returned();
    });
    if (const auto earlier = attempts.constFind(devicePath); earlier != attempts.cend()) {
        trial->m_attempt = earlier.value();
        return trial;
    }
    Hook hook = currentHook();
    std::shared_ptr<Attempt> attempt = hook ? nullptr : OpeningSystem::beginApart(devicePath);
    if (!attempt)
        attempt = beginOnThread(devicePath, std::move(hook));
    attempts.insert(devicePath, attempt);
    trial->m_attempt = std::move(attempt);
    return trial;
}

bool TrialOpening::returned() const {
    const std::lock_guard lock(registryMutex);
    return m_attempt->returned();
}

void TrialOpening::waitForAll(const QList<std::shared_ptr<TrialOpening>>& trials, int waitMs) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        bool all = true;
        for (const auto& trial : trials)
            all = all && trial->returned();
        if (all || waited.elapsed() >= waitMs)
            return;
        QThread::usleep(500);
    }
}
