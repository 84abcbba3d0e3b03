// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;
struct termios;

// A GSM dialer on a pseudo-terminal. The tool opens portPath() like any serial device; the
// simulator answers "?6" CR LF with its six values and stores the values of a save command,
// answering "OK" CR LF. On demand it is a difficult device: silent, slow, answering in pieces,
// answering garbage, echoing the command, flooding the line, or vanishing altogether.
//
// It works on raw bytes, like the device: values are stored and sent back exactly as received.
class DialerSimulator : public QObject {
    Q_OBJECT

public:
    struct Behaviour {
        bool silent = false;      // never answers
        int delayMs = 0;          // answers this long after the command
        int chunkBytes = 0;       // > 0: answers in pieces of this many bytes
        int chunkGapMs = 0;       // pause between pieces
        bool garbage = false;     // answers random bytes instead of a reply
        bool echo = false;        // sends the command back before the reply
        qint64 floodBytes = 0;    // after the command, sends this many further junk bytes
        char leading = '!';       // first character of a read response
        int silentFirst = 0;      // ignores this many commands before it answers at all
        int alterField = 0;       // 1 to 6: stores this field of a save altered (a faulty memory)
        bool ignoreSaves = false; // answers reads, but takes no save and never acknowledges one
    };

    explicit DialerSimulator(QObject *parent = nullptr);
    ~DialerSimulator() override;

    // Opens the pseudo-terminal. The simulator keeps its own end of the line open, so the tool
    // may open and close the port as often as it likes.
    [[nodiscard]] bool open(QString *error = nullptr);
    // Serves an existing serial device instead (the far end of a USB gadget's port, say), set raw.
    // When the device hangs up, as a gadget's port does when it leaves the bus, the simulator
    // opens it again, so the dialer answers once it is back.
    [[nodiscard]] bool openDevice(const QString& path, QString *error = nullptr);
    [[nodiscard]] QString portPath() const { return m_path; }
    // A symbolic link to the port, removed again when the simulator ends.
    [[nodiscard]] bool makeLink(const QString& linkPath, QString *error = nullptr);

    void setBehaviour(const Behaviour& behaviour) { m_behaviour = behaviour; }
    [[nodiscard]] const Behaviour& behaviour() const { return m_behaviour; }
    void setValues(const QList<QByteArray>& values) { m_values = values; }
    [[nodiscard]] const QList<QByteArray>& values() const { return m_values; }

    // Every byte the tool has written, in order.
    [[nodiscard]] const QByteArray& received() const { return m_received; }
    void clearReceived();

    // The line's current modes, as the port's user has set them.
    [[nodiscard]] bool lineModes(termios *modes) const;

    // Sends bytes as they are, as if the device had.
    void send(const QByteArray& bytes);

    // The far end hangs up, as when an adapter is unplugged.
    void vanish();

    // The bytes of a read response carrying these values.
    [[nodiscard]] static QByteArray readResponse(const QList<QByteArray>& values,
                                                 char leading = '!');

Q_SIGNALS:
    void commandReceived(const QByteArray& line);

private:
    void watch(int fd);
    void onReadable();
    void reopenDevice();
    static constexpr int ReopenMs = 100;
    void handleCommand(const QByteArray& line);
    void schedule(const QByteArray& reply);
    void pump();
    void close();

    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QString m_link;
    QString m_device; // the device served, when not a pseudo-terminal
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    Behaviour m_behaviour;
    QList<QByteArray> m_values;
    QByteArray m_received;
    QByteArray m_partialLine;
    QByteArray m_outgoing;
    qint64 m_floodLeft = 0;
    quint64 m_generation = 0; // a new command cancels what is still due for the previous one
    int m_commands = 0;       // commands received so far
};
