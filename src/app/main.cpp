// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Platform.h"
#include "settings/SettingsLocation.h"
#include "ui/Form1.h"

#include <Version.h>

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    // The one option, answered before any window or display is needed.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("dialer-config %s\n", DialerDisplayVersion);
        return 0;
    }
    Platform::prepare(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dialer-config"));
    QApplication::setApplicationVersion(QString::fromLatin1(DialerDisplayVersion));
    QApplication::setOrganizationName(QStringLiteral("dialer-config"));
    QApplication::setDesktopFileName(QStringLiteral("dialer-config"));

    Form1 window;
    window.setSettingsStore(SettingsLocation::forThisRun());
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
