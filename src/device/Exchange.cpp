// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Exchange.h"

#include "DialerProtocol.h"
#include "LineSettings.h"

Exchange::Exchange(Judging judging, QObject *parent)
    : QObject(parent)
    , m_judging(judging) {
    // The dialer's line, whatever opened the port before.
    (void)m_port.setSettings(DialerLine);
    connect(&m_port, &SerialPort::OnComm, this, &Exchange::collect);
    // A coarse timer may fire several per cent late; the verdict is due 500 ms after the press.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Exchange::onTick);
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &Exchange::onQuiet);
}

bool Exchange::start(Command command, const DialerSettings& record,
                     std::optional<qint16> commPort) {
    if (m_state != State::Idle || m_quiet.isActive() || m_quietOpening)
        return false;
    // A value holding a comma, CR or LF, or a character the line cannot carry, would shift or
    // corrupt the dialer's stored fields: nothing is sent.
    if (command == Command::Save && DialerProtocol::firstUnsendableValue(record) != 0) {
        refuse(Refusal::Unsendable, outcomeMessage(Outcome::CheckFields));
        return true;
    }

    // Each of these can only fail while the port is open, and it is closed while Idle.
    (void)m_port.setRThreshold(1);
    if (commPort)
        (void)m_port.setCommPort(*commPort);
    (void)m_port.setInBufferSize(0);
    (void)m_port.setInBufferSize(100);
    (void)m_port.setInputMode(0);
    (void)m_port.setInputLen(0);
    (void)m_port.setInBufferCount(0);
    m_command = command;
    m_record = record;
    m_lost.clear();
    m_state = State::Opening;
    m_port.openWithin(OpeningWaitMs, [this](bool opened) { onOpened(opened); });
    return true;
}

void Exchange::onOpened(bool opened) {
    if (m_state != State::Opening)
        return;
    m_state = State::Idle;
    if (!opened) {
        refuse(Refusal::PortFailed, QStringLiteral("Не удалось открыть порт %1:\r\n%2.")
                                        .arg(m_port.portLabel(), m_port.errorString()));
        return;
    }
    const QString message = m_command == Command::Read ? DialerProtocol::ReadRequest()
                                                       : DialerProtocol::SaveCommand(m_record);
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

void Exchange::refuse(Refusal why, const QString& message) {
    Q_EMIT refused(why, message);
    Q_EMIT ended();
}

void Exchange::collect() {
    const QString received = m_port.Input();
    const bool lostNow = m_port.commEvent() == SerialPort::CommEvent::Lost;
    if (m_quiet.isActive()) {
        // Waiting for a quiet line: what arrives is dropped, and the quiet starts again.
        if (!lostNow && m_quietSince.elapsed() < m_quietMaxMs)
            m_quiet.start();
        return;
    }
    if (lostNow && m_state == State::Collecting)
        m_lost = m_port.errorString();
    const qsizetype room = MaxCollected - m_theData.size();
    if (room > 0)
        m_theData += QStringView(received).first(std::min(room, received.size()));
}

void Exchange::onTick() {
    if (m_state != State::Collecting)
        return;
    m_state = State::Reporting;
    const Verdict verdict =
        m_judging == Judging::ReplyAlone
            ? judgeReply(m_theData)
            : judgeAnswer(m_command == Command::Save ? Sent::SaveCommand : Sent::ReadRequest,
                          m_theData);
    Q_EMIT judged(verdict);
}

void Exchange::finish() {
    if (m_port.PortOpen())
        (void)m_port.setPortOpen(false);
    (void)m_port.setInputLen(0);
    (void)m_port.setInBufferCount(0);
    m_state = State::Idle;
    Q_EMIT ended();
}

void Exchange::abandon() {
    m_port.cancelOpening();
    m_timer.stop();
    m_quiet.stop();
    m_quietOpening = false;
    if (m_port.PortOpen())
        (void)m_port.setPortOpen(false);
    m_state = State::Idle;
}

void Exchange::waitForQuietLine(int quietMs, int maxWaitMs) {
    if (m_state != State::Idle || m_quietOpening) {
        Q_EMIT lineQuiet();
        return;
    }
    m_quietOpening = true;
    m_port.openWithin(OpeningWaitMs, [this, quietMs, maxWaitMs](bool opened) {
        m_quietOpening = false;
        if (!opened) {
            Q_EMIT lineQuiet();
            return;
        }
        m_quietMaxMs = maxWaitMs;
        m_quietSince.start();
        m_quiet.start(quietMs);
    });
}

void Exchange::onQuiet() {
    (void)m_port.setPortOpen(false);
    Q_EMIT lineQuiet();
}
