// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "SettingsLocation.h"

// Here the current folder always holds the settings file.
namespace SettingsLocation {

QStringList protectedFolders() {
    return {};
}

QString userFolder() {
    return {};
}

} // namespace SettingsLocation
