// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "ExchangeController.h"

ExchangeController::ExchangeController(ExchangeHost& host, QObject *parent)
    : QObject(parent)
    , m_host(host) {
    connect(&m_exchange, &Exchange::judged, this, &ExchangeController::Timer1_Timer);
    connect(&m_exchange, &Exchange::refused, this,
            [this](Exchange::Refusal why, const QString& message) {
                Q_EMIT refused(why, message);
                m_host.showInfo(message);
            });
    connect(&m_exchange, &Exchange::commandSent, this, &ExchangeController::commandSent);
    connect(&m_exchange, &Exchange::ended, this, &ExchangeController::exchangeEnded);
}

void ExchangeController::ReadCMD_Click() {
    press(Exchange::Command::Read);
}

void ExchangeController::SaveCMD_Click() {
    press(Exchange::Command::Save);
}

void ExchangeController::press(Exchange::Command command) {
    if (m_exchange.state() != State::Idle)
        return;
    const int port = m_host.selectedPort();
    m_portNum = QString::number(port);
    (void)m_exchange.start(command, m_host.settings(), static_cast<qint16>(port));
}

void ExchangeController::Timer1_Timer(const Verdict& verdict) {
    Q_EMIT verdictReached(verdict);
    // The port stays open and the exchange Reporting while the message is shown; the window may
    // also be left meanwhile, which ends the exchange without this.
    m_host.showInfo(outcomeMessage(verdict.outcome), [this] {
        if (m_exchange.state() == State::Reporting)
            m_exchange.finish();
    });
}
