// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// dialer-sim: a GSM dialer on a pseudo-terminal (or on a serial device it is given), for trying
// dialer-config without a real dialer.
//
//   dialer-sim [--device PATH] [--link PATH] [--values 1,2,3,4,5,*6#] [--silent] [--delay MS]
//              [--split N] [--split-gap MS] [--garbage] [--echo] [--flood BYTES] [--leading C]
//              [--silent-first N] [--alter FIELD] [--ignore-saves] [--verbose]
//
// Prints the port's path on the first line of its output, then runs until interrupted.

#include "DialerSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringEncoder>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    (void)::write(signalPipe[1], &byte, 1);
}

void log(const char *direction, const QByteArray& bytes) {
    std::printf("%s %s  %s\n", direction, bytes.toHex(' ').constData(),
                QByteArray(bytes).replace('\r', "\\r").replace('\n', "\\n").constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dialer-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A GSM dialer on a pseudo-terminal."));
    parser.addHelpOption();
    const QCommandLineOption servedDevice(
        QStringLiteral("device"),
        QStringLiteral("Serve this serial device (a USB gadget's port, say) instead of a "
                       "pseudo-terminal; it is set raw, and opened again after a hang-up."),
        QStringLiteral("path"));
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Also make a symbolic link to the port."),
                                  QStringLiteral("path"));
    const QCommandLineOption values(
        QStringLiteral("values"),
        QStringLiteral("The six stored values, comma-separated (kept in windows-1251)."),
        QStringLiteral("list"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Never answer."));
    const QCommandLineOption delay(QStringLiteral("delay"),
                                   QStringLiteral("Answer this many ms after a command."),
                                   QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption split(QStringLiteral("split"),
                                   QStringLiteral("Answer in pieces of this many bytes."),
                                   QStringLiteral("bytes"), QStringLiteral("0"));
    const QCommandLineOption splitGap(QStringLiteral("split-gap"),
                                      QStringLiteral("Pause between pieces."), QStringLiteral("ms"),
                                      QStringLiteral("20"));
    const QCommandLineOption garbage(QStringLiteral("garbage"),
                                     QStringLiteral("Answer random bytes."));
    const QCommandLineOption echo(QStringLiteral("echo"),
                                  QStringLiteral("Echo each command before answering."));
    const QCommandLineOption flood(QStringLiteral("flood"),
                                   QStringLiteral("After each command send this many junk bytes."),
                                   QStringLiteral("bytes"), QStringLiteral("0"));
    const QCommandLineOption leading(QStringLiteral("leading"),
                                     QStringLiteral("First character of a read response."),
                                     QStringLiteral("char"), QStringLiteral("!"));
    const QCommandLineOption silentFirst(
        QStringLiteral("silent-first"), QStringLiteral("Ignore the first N commands, then answer."),
        QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption alter(QStringLiteral("alter"),
                                   QStringLiteral("Store field 1 to 6 of a save altered."),
                                   QStringLiteral("field"), QStringLiteral("0"));
    const QCommandLineOption ignoreSaves(
        QStringLiteral("ignore-saves"),
        QStringLiteral("Answer reads, but take no save and never acknowledge one."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Log every byte in and out."));
    parser.addOptions({servedDevice, link, values, silent, delay, split, splitGap, garbage, echo,
                       flood, leading, silentFirst, alter, ignoreSaves, verbose});
    parser.process(app);

    DialerSimulator device;
    DialerSimulator::Behaviour behaviour;
    behaviour.silent = parser.isSet(silent);
    behaviour.delayMs = parser.value(delay).toInt();
    behaviour.chunkBytes = parser.value(split).toInt();
    behaviour.chunkGapMs = parser.value(splitGap).toInt();
    behaviour.garbage = parser.isSet(garbage);
    behaviour.echo = parser.isSet(echo);
    behaviour.floodBytes = parser.value(flood).toLongLong();
    behaviour.silentFirst = parser.value(silentFirst).toInt();
    behaviour.alterField = parser.value(alter).toInt();
    behaviour.ignoreSaves = parser.isSet(ignoreSaves);
    const QByteArray leadingChar = parser.value(leading).toLatin1();
    behaviour.leading = leadingChar.isEmpty() ? '!' : leadingChar.front();
    device.setBehaviour(behaviour);
    if (parser.isSet(values)) {
        // A dialer keeps its values in windows-1251, as the tool sends them.
        QStringEncoder codePage("windows-1251");
        const QByteArray bytes = codePage.encode(parser.value(values));
        if (codePage.hasError()) {
            std::fprintf(stderr, "dialer-sim: --values holds a character outside windows-1251\n");
            return 2;
        }
        const QList<QByteArray> six = bytes.split(',');
        if (six.size() != 6) {
            std::fprintf(stderr, "dialer-sim: --values needs six values\n");
            return 2;
        }
        device.setValues(six);
    }

    QString error;
    if (parser.isSet(servedDevice)) {
        if (!device.openDevice(parser.value(servedDevice), &error)) {
            std::fprintf(stderr, "dialer-sim: cannot open %s: %s\n",
                         qPrintable(parser.value(servedDevice)), qPrintable(error));
            return 1;
        }
    } else if (!device.open(&error)) {
        std::fprintf(stderr, "dialer-sim: cannot open a pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    if (parser.isSet(link) && !device.makeLink(parser.value(link), &error)) {
        std::fprintf(stderr, "dialer-sim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(device.portPath()));
    std::fflush(stdout);

    if (parser.isSet(verbose))
        QObject::connect(&device, &DialerSimulator::commandReceived,
                         [](const QByteArray& line) { log("<-", line); });

    // End cleanly on SIGINT and SIGTERM, so the link is removed.
    if (::pipe(signalPipe) != 0)
        return 1;
    QSocketNotifier stop(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    return QCoreApplication::exec();
}
