// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

class QWidget;

namespace ShellLink {

// Asks the desktop to open the address with its default handler (a web browser for https).
// Whatever happens, nothing is reported: no browser, no message, no change to the window.
void OpenLink(QWidget *window, const QString& url);

} // namespace ShellLink
