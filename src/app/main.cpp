// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Platform.h"
#include "settings/SettingsLocation.h"
#include "ui/Form1.h"

#include <QApplication>

int main(int argc, char **argv) {
    Platform::prepare(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dialer-config"));
    QApplication::setApplicationVersion(QStringLiteral("2.00"));
    QApplication::setOrganizationName(QStringLiteral("dialer-config"));
    QApplication::setDesktopFileName(QStringLiteral("dialer-config"));

    Form1 window;
    window.setSettingsStore(SettingsLocation::forThisRun());
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
