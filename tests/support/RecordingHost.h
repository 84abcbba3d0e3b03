// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "device/PortMap.h"
#include "ui/ExchangeController.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

// The host side of an exchange without a window: a selected port, a record that takes the values
// of every read verdict (as the window's fields do), and the messages it would have shown.
class RecordingHost : public ExchangeHost {
public:
    int port = 1;
    DialerSettings record = DialerSettings::defaults();
    QStringList messages;
    QList<Verdict> verdicts;
    std::function<void()> whileShowing; // runs while the "message box" is open

    void follow(ExchangeController& exchange) {
        QObject::connect(&exchange, &ExchangeController::verdictReached, &exchange,
                         [this](const Verdict& verdict) {
                             verdicts << verdict;
                             if (verdict.values)
                                 record = *verdict.values;
                         });
    }

    int selectedPort() const override { return port; }
    const DialerSettings& settings() const override { return record; }
    // The user takes note once whileShowing has run.
    void showInfo(const QString& text, std::function<void()> dismissed) override {
        messages << text;
        if (whileShowing)
            whileShowing();
        if (dismissed)
            dismissed();
    }
};

// A port map in which COMn is the device at `path` and no other port exists.
inline PortMap mapOnly(int port, const QString& path) {
    PortMap map;
    map.setDevice(port, {path, {}});
    return map;
}
