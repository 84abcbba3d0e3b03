// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

#include "device/PortMap.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace dialerctl {

// One port to work on: how the user named it and the device behind it.
struct Target {
    QString port;   // "COM3", or a device path as given
    QString device; // the device path used ("COM3" itself on Windows); empty: none mapped
    int number = 0; // 1 to 9 for COMn (above 9 for a COM name no device has), 0 for a path
};

// Resolves --port values against the port map (the window's numbering): COMn, a device path,
// or "all", every port of the map that is there now (the window's start-up probe; one that is
// busy or denied is kept, so that its failure is reported). No names at all
// means "all". The same device named twice is used once. The result is in port order: COM1 ...
// COM9, then device paths as given; a COMn the map leaves empty has no device.
[[nodiscard]] QList<Target> selectPorts(const QStringList& names, const PortMap& map);

// What `dialerctl ports` shows of each port the map names.
struct PortState {
    Target target;
    QString state; // free, busy, denied, missing, error
    QString reason;
    QString group; // for denied: the group to join; empty where only the administrator can help
    PortMap::Adapter adapter;
};

// Opens and closes each port of the map once, like the probe, and reports its state.
[[nodiscard]] QList<PortState> listPorts(const PortMap& map);

} // namespace dialerctl
