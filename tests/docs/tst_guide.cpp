// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// The installers' guide cannot drift from the program: every Russian text of the sources has its
// row there, and every dialerctl option it shows exists.

#include "dialerctl/CommandLine.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString collapsed(QString text) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return text.replace(blanks, QStringLiteral(" "));
}

// `word` stands in `text` with neither a letter, a digit nor a hyphen on either side.
bool containsWord(QStringView text, QStringView word) {
    const auto joins = [](QChar c) {
        return c.isLetterOrNumber() || c == u'-' || c == u'_';
    };
    for (qsizetype at = text.indexOf(word); at >= 0; at = text.indexOf(word, at + 1)) {
        const qsizetype end = at + word.size();
        if ((at == 0 || !joins(text[at - 1])) && (end == text.size() || !joins(text[end])))
            return true;
    }
    return false;
}

bool hasCyrillic(QStringView text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x400 && c.unicode() <= 0x4ff; });
}

// A C++ string literal's text, its escapes resolved.
QString unescaped(QStringView literal) {
    QString text;
    for (qsizetype i = 0; i < literal.size(); ++i) {
        if (literal[i] != u'\\' || i + 1 == literal.size()) {
            text += literal[i];
            continue;
        }
        const QChar next = literal[++i];
        if (next == u'u' && i + 4 < literal.size()) {
            text += QChar(literal.sliced(i + 1, 4).toUShort(nullptr, 16));
            i += 4;
        } else if (next == u'r' || next == u'n') {
            text += u'\n';
        } else {
            text += next;
        }
    }
    return text;
}

// The texts of a source file's string literals, neighbouring literals joined as the compiler
// joins them; comments are not looked at.
QStringList literals(const QString& source) {
    QStringList found;
    QString current;
    bool joinable = false;
    for (qsizetype i = 0; i < source.size(); ++i) {
        const QChar c = source[i];
        if (c == u'/' && i + 1 < source.size() && source[i + 1] == u'/') {
            i = source.indexOf(u'\n', i);
            if (i < 0)
                break;
            continue;
        }
        if (c == u'\'' && i + 2 < source.size()) {
            // A character literal, perhaps a quote.
            i = source.indexOf(u'\'', i + (source[i + 1] == u'\\' ? 3 : 2));
            if (i < 0)
                break;
            joinable = false;
            continue;
        }
        if (c == u'"') {
            qsizetype end = i + 1;
            while (end < source.size() && source[end] != u'"')
                end += source[end] == u'\\' ? 2 : 1;
            const QString text = unescaped(QStringView(source).sliced(i + 1, end - i - 1));
            if (joinable)
                current += text;
            else {
                if (!current.isEmpty())
                    found << current;
                current = text;
            }
            joinable = true;
            i = end;
            continue;
        }
        if (!c.isSpace())
            joinable = false;
    }
    if (!current.isEmpty())
        found << current;
    return found;
}

} // namespace

class GuideTest : public QObject {
    Q_OBJECT

    const QString m_guide = readText(QStringLiteral(GUIDE_FILE));

private Q_SLOTS:
    // Each fixed part of a message (between the places where a port, a path or a number goes,
    // and between its lines) stands in the guide as the program shows it.
    void everyMessageHasItsRow() {
        QVERIFY(!m_guide.isEmpty());
        const QString guide = collapsed(m_guide);
        QStringList missing;
        QDirIterator sources(QStringLiteral(SOURCE_DIR), {"*.cpp", "*.h"}, QDir::Files,
                             QDirIterator::Subdirectories);
        while (sources.hasNext()) {
            const QString path = sources.next();
            for (const QString& message : literals(readText(path))) {
                if (!hasCyrillic(message))
                    continue;
                static const QRegularExpression places(QStringLiteral("%\\d|\\n"));
                for (const QString& part : message.split(places)) {
                    const QString fixed = collapsed(part).trimmed();
                    if (hasCyrillic(fixed) && !guide.contains(fixed))
                        missing
                            << QStringLiteral("%1: «%2»").arg(QFileInfo(path).fileName(), fixed);
                }
            }
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u'\n')));
    }

    void everyDialerctlOptionShownExists() {
        const QString help = dialerctl::helpText();
        QStringList unknown;
        // The options on the lines that run dialerctl.
        static const QRegularExpression option(QStringLiteral("(?<![\\w-])--[a-z][a-z-]*"));
        for (const QString& line : m_guide.split(u'\n')) {
            if (!line.contains(u"dialerctl "))
                continue;
            for (const QRegularExpressionMatch& match : option.globalMatch(line)) {
                if (!containsWord(help, match.captured()))
                    unknown << match.captured();
            }
        }
        static const QRegularExpression command(QStringLiteral("\\bdialerctl ([a-z]+)"));
        for (const QRegularExpressionMatch& match : command.globalMatch(m_guide)) {
            if (!help.contains(QStringLiteral("dialerctl ") + match.captured(1)))
                unknown << match.captured();
        }
        QVERIFY2(unknown.isEmpty(), qPrintable(unknown.join(u' ')));
    }
};

QTEST_GUILESS_MAIN(GuideTest)
#include "tst_guide.moc"
