// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "ui/FormLayout.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <functional>
#include <iterator>

// The dialer-config window of another process, driven as a user drives it: real X input through
// xdotool, at the places the layout table gives, with fields read back through the X clipboard.
// The driving test runs on the same X display.
class XWindowDriver {
public:
    // A control's place, in window coordinates at 96 dots per inch, from the layout table.
    static QRect rectOf(const char *name) {
        QPoint origin;
        const FormLayout::Control *found = nullptr;
        for (const char *wanted = name; qstrcmp(wanted, "Form1") != 0;) {
            const auto *row =
                std::find_if(std::begin(FormLayout::Controls), std::end(FormLayout::Controls),
                             [&](const auto& c) { return qstrcmp(c.name, wanted) == 0; });
            origin += FormLayout::toPixels(*row).topLeft();
            if (!found)
                found = row;
            wanted = row->container;
        }
        return {origin, FormLayout::toPixels(*found).size()};
    }

    static QPoint centreOf(const char *name) { return rectOf(name).center(); }

    static QString run(const QStringList& arguments, int timeoutMs = 10000,
                       const QString& program = QStringLiteral("xdotool")) {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
        }
        return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    }

    // The window of that title, once it shows; false when none did within the time.
    bool waitForWindow(int timeoutMs = 90000,
                       const QString& title = QStringLiteral("^Настройки GSM$")) {
        m_window = run({"search", "--sync", "--onlyvisible", "--name", title}, timeoutMs)
                       .section(u'\n', 0, 0);
        return !m_window.isEmpty();
    }

    bool waitForWindowGone(const QString& title = QStringLiteral("^Настройки GSM$")) {
        for (int i = 0; i < 100; ++i) {
            if (run({"search", "--onlyvisible", "--name", title}).isEmpty())
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    void clickOn(const char *control) const {
        const QPoint p = centreOf(control);
        run({"mousemove", "--window", m_window, QString::number(p.x()), QString::number(p.y()),
             "click", "1"});
    }

    // Whatever ends up on the clipboard after `copy` ran; empty when nothing did.
    static QString copied(const std::function<void()>& copy) {
        QGuiApplication::clipboard()->clear();
        copy();
        for (int i = 0; i < 40; ++i) {
            QTest::qWait(50);
            QString now = QGuiApplication::clipboard()->text();
            if (!now.isEmpty())
                return now;
        }
        return {};
    }

    // Selects a field's text, copies it, and reads it from the clipboard.
    QString readField(const char *field) const {
        return copied([&] {
            clickOn(field);
            run({"key", "ctrl+a", "ctrl+c"});
        });
    }

    // Waits for the message box and dismisses it with Return. Keeps a picture of the screen in
    // `shotPath` when one is given, and the box's text in `text` when asked for (a message box
    // copies it with Ctrl+C).
    static bool answerMessageBox(const QString& shotPath = {}, QString *text = nullptr,
                                 int timeoutMs = 5000) {
        const QString box =
            run({"search", "--sync", "--onlyvisible", "--name", "^info$"}, timeoutMs)
                .section(u'\n', 0, 0);
        if (box.isEmpty())
            return false;
        QTest::qWait(300); // let it paint
        if (!shotPath.isEmpty())
            QGuiApplication::primaryScreen()->grabWindow(0).save(shotPath);
        run({"windowfocus", "--sync", box});
        if (text)
            *text = copied([] { run({"key", "ctrl+c"}); });
        run({"key", "Return"});
        for (int i = 0; i < 50; ++i) {
            if (run({"search", "--onlyvisible", "--name", "^info$"}).isEmpty())
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    // Selects a port by typing its name into the selector.
    void typePort(const QString& port) const {
        clickOn("Combo1");
        run({"key", "ctrl+a"});
        run({"type", "--delay", "20", port});
    }

    [[nodiscard]] const QString& window() const { return m_window; }

private:
    QString m_window;
};
