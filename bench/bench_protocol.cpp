// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// Parsing read responses and loading and saving the settings file.
//
// Baselines: one deep copy of the same reply (a parser that hands out the values copies about as
// many characters), and writing and reading the same bytes with a plain QFile (the least any
// settings store must do).

#include "BenchUtil.h"

#include "device/DialerProtocol.h"
#include "device/Outcome.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// A read response of `length` characters: six values of equal length, as a device might fill
// the whole 500 ms window at 115200 baud.
QString replyOfLength(qsizetype length) {
    const qsizetype valueLength = (length - 3) / 6 - 1;
    QString reply = QStringLiteral("!");
    for (int i = 0; i < 6; ++i)
        reply += QString(valueLength, QChar(u'0' + i)) + u',';
    reply += QStringLiteral("\r\n");
    reply += QString(length - reply.size(), u'x');
    return reply;
}

void benchParser() {
    std::printf("Read response parser\n");
    const QString defaultReply = DialerProtocol::SaveCommand(DialerSettings::defaults());
    const QString largest = replyOfLength(5760);
    Q_ASSERT(DialerProtocol::parseReadResponse(largest));

    for (const auto& [name, each] : {std::pair{"default reply (69 chars)", defaultReply},
                                     std::pair{"largest reply (5,760 chars)", largest}}) {
        const QString& reply = each;
        const double scan = bench::nanosecondsPerRun(
            [&] { bench::keep(QString(reply.constData(), reply.size())); });
        const double parse = bench::nanosecondsPerRun(
            [&] { bench::keep(DialerProtocol::parseReadResponse(reply)); });
        const double judge = bench::nanosecondsPerRun([&] { bench::keep(judgeReply(reply)); });
        std::printf(" %s\n", name);
        bench::row("baseline: copy the reply once", scan, scan);
        bench::row("parseReadResponse", parse, scan);
        bench::row("judgeReply (classify + parse)", judge, scan);
    }

    std::printf(" Growth with length (time per character should stay flat)\n");
    double first = 0;
    for (qsizetype length = 1024; length <= qsizetype{64} * 1024; length *= 2) {
        const QString reply = replyOfLength(length);
        const double ns = bench::nanosecondsPerRun(
            [&] { bench::keep(DialerProtocol::parseReadResponse(reply)); });
        const double perChar = ns / double(length);
        if (first == 0)
            first = perChar;
        std::printf("  %8lld chars %12.3f us  %8.3f ns/char  x%5.2f of the shortest\n",
                    static_cast<long long>(length), ns / 1000.0, perChar, perChar / first);
    }
}

void benchSettingsFile() {
    std::printf("Settings file\n");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Velkor.ini"));
    const SettingsStore store(path);
    const DialerSettings settings = DialerSettings::defaults();
    if (!store.Save(settings).ok())
        bench::fail(QStringLiteral("the settings file could not be saved"));
    QFile original(path);
    if (!original.open(QIODevice::ReadOnly))
        bench::fail(QStringLiteral("the saved settings file could not be read"));
    const QByteArray bytes = original.readAll();
    original.close();

    const QString plainPath = dir.filePath(QStringLiteral("plain.ini"));
    const double plainWrite = bench::nanosecondsPerRun([&] {
        QFile f(plainPath);
        if (f.open(QIODevice::WriteOnly))
            bench::keep(f.write(bytes));
    });
    const double plainRead = bench::nanosecondsPerRun([&] {
        QFile f(plainPath);
        if (f.open(QIODevice::ReadOnly))
            bench::keep(f.readAll());
    });
    const double save = bench::nanosecondsPerRun([&] { bench::keep(store.Save(settings)); });
    const double load = bench::nanosecondsPerRun([&] { bench::keep(store.Load()); });
    bench::row("baseline: QFile write of the same 79 bytes", plainWrite, plainWrite);
    bench::row("Save (encode, QSaveFile, rename)", save, plainWrite);
    bench::row("baseline: QFile read of the same 79 bytes", plainRead, plainRead);
    bench::row("Load (read, decode, parse)", load, plainRead);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchParser();
    benchSettingsFile();
    return 0;
}
