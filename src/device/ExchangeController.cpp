// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "ExchangeController.h"

#include "DeviceMessages.h"
#include "PortDiscovery.h"

ExchangeController::ExchangeController(ExchangeHost& host, QObject *parent)
    : QObject(parent)
    , m_host(host) {
    // A coarse timer may fire several per cent late; the verdict is due 500 ms after the press.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ExchangeController::Timer1_Timer);
    connect(&m_port, &SerialPort::OnComm, this, &ExchangeController::MSComm1_OnComm);
}

void ExchangeController::ReadCMD_Click() {
    start(Command::Read);
}

void ExchangeController::SaveCMD_Click() {
    start(Command::Save);
}

void ExchangeController::start(Command command) {
    if (m_state != State::Idle)
        return;
    // A typed name of a port beyond the nine ("COM12" on Windows) is that port; otherwise the
    // fourth character of the selector's text gives the number.
    const QString selected = m_host.portSelectorText();
    m_portNum =
        QString::number(PortMap::systemPortNumber(selected).value_or(SelectedPortNumber(selected)));

    // A value holding a comma, CR or LF, or a character the line cannot carry, would shift or
    // corrupt the dialer's stored fields: nothing is sent.
    if (command == Command::Save && DeviceMessages::firstUnsendableValue(m_host.settings()) != 0) {
        refuse(Refusal::Unsendable, outcomeMessage(Outcome::CheckFields));
        return;
    }

    // Each of these can only fail while the port is open, and it is closed while Idle.
    (void)m_port.setRThreshold(1);
    (void)m_port.setCommPort(static_cast<qint16>(m_portNum.toInt()));
    (void)m_port.setInBufferSize(0);
    (void)m_port.setInBufferSize(100);
    (void)m_port.setInputMode(0);
    (void)m_port.setInputLen(0);
    (void)m_port.setInBufferCount(0);
    m_command = command;
    m_state = State::Opening;
    m_port.openWithin(OpeningWaitMs, [this](bool opened) { onOpened(opened); });
}

void ExchangeController::onOpened(bool opened) {
    if (m_state != State::Opening)
        return;
    m_state = State::Idle;
    if (!opened) {
        refuse(Refusal::PortFailed, QStringLiteral("Не удалось открыть порт %1:\r\n%2.")
                                        .arg(m_port.portLabel(), m_port.errorString()));
        return;
    }
    const QString message = m_command == Command::Read
                                ? DeviceMessages::ReadRequest()
                                : DeviceMessages::SaveCommand(m_host.settings());
    if (!m_port.setOutput(message)) {
        const QString reason = m_port.errorString();
        (void)m_port.setPortOpen(false);
        refuse(Refusal::PortFailed, QStringLiteral("Не удалось передать команду в порт %1:\r\n%2.")
                                        .arg(m_port.portLabel(), reason));
        return;
    }
    m_theData.clear();
    m_timer.setInterval(CollectionMs);
    m_timer.start();
    m_state = State::Collecting;
    Q_EMIT commandSent();
}

void ExchangeController::refuse(Refusal why, const QString& message) {
    Q_EMIT refused(why, message);
    m_host.showInfo(message);
    Q_EMIT exchangeEnded();
}

void ExchangeController::MSComm1_OnComm() {
    const QString received = m_port.Input();
    const qsizetype room = MaxCollected - m_theData.size();
    if (room > 0)
        m_theData += QStringView(received).first(std::min(room, received.size()));
}

void ExchangeController::Timer1_Timer() {
    if (m_state != State::Collecting)
        return;
    m_state = State::Reporting;
    m_timer.stop();

    const Verdict verdict = judgeReply(m_theData);
    Q_EMIT verdictReached(verdict);
    m_host.showInfo(outcomeMessage(verdict.outcome));
    // The window may have been left while the message was open.
    if (m_state == State::Reporting)
        finish();
}

void ExchangeController::finish() {
    if (m_port.PortOpen())
        (void)m_port.setPortOpen(false);
    (void)m_port.setInputLen(0);
    (void)m_port.setInBufferCount(0);
    m_state = State::Idle;
    Q_EMIT exchangeEnded();
}

void ExchangeController::abandon() {
    m_port.cancelOpening();
    m_timer.stop();
    m_state = State::Idle;
}
