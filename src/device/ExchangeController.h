#pragma once

#include "Outcome.h"
#include "SerialPort.h"
#include "settings/DialerSettings.h"

#include <QObject>
#include <QString>
#include <QTimer>

// What an exchange needs from the window that hosts it.
class ExchangeHost {
public:
    virtual ~ExchangeHost() = default;
    [[nodiscard]] virtual QString portSelectorText() const = 0;
    [[nodiscard]] virtual const DialerSettings& settings() const = 0;
    // Parses a reply; a complete read response fills the record and the six text fields and
    // sets CorrectData to 1, anything else leaves them and sets it to 0.
    virtual void SortLine(const QString& sLine) = 0;
    [[nodiscard]] virtual qint16 CorrectData() const = 0;
    // A modal information box titled "info"; returns once the user has dismissed it.
    virtual void showInfo(const QString& text) = 0;
};

// One exchange with the dialer: a Read or Save press opens the selected port and writes one
// command, everything the device sends in the next 500 ms is collected, and the first tick of
// Timer1 judges it, shows the outcome and closes the port. One press, one verdict: a press while
// an exchange is under way is ignored, and the verdict is taken once however many ticks arrive
// while its message box is open.
class ExchangeController : public QObject {
    Q_OBJECT

public:
    enum class State { Idle, Collecting, Reporting };
    Q_ENUM(State)

    static constexpr int CollectionMs = 500;
    // A complete read response is a few dozen characters; a device that floods the line is not
    // allowed to exhaust memory. What arrives beyond this is read and dropped.
    static constexpr qsizetype MaxCollected = 64 * 1024;

    ExchangeController(SerialPort& port, ExchangeHost& host, QObject *parent = nullptr);

    void ReadCMD_Click();
    void SaveCMD_Click();
    void MSComm1_OnComm();
    void Timer1_Timer();

    // The window is going away (Exit): the exchange ends without a verdict.
    void abandon();

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] const QString& TheData() const { return m_theData; }
    [[nodiscard]] const QString& PortNum() const { return m_portNum; }
    [[nodiscard]] const QTimer& timer() const { return m_timer; }

Q_SIGNALS:
    // The verdict, just before its message is shown.
    void verdictReached(Outcome outcome);
    // Back to Idle: after a verdict's message, or after a press that could not start.
    void exchangeEnded();

private:
    enum class Command { Read, Save };
    void start(Command command);
    void refuse(const QString& message);
    void finish();

    SerialPort& m_port;
    ExchangeHost& m_host;
    QTimer m_timer;
    QString m_theData;
    QString m_portNum;
    State m_state = State::Idle;
};
