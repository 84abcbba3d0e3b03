// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "ShellLink.h"

#include <QDesktopServices>
#include <QUrl>

namespace ShellLink {

void OpenLink(QWidget *window, const QString& url) {
    // The desktop picks the browser and its window; the owner only matters on Windows, where the
    // desktop services do not take one.
    Q_UNUSED(window);
    (void)QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
}

} // namespace ShellLink
