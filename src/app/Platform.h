// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#pragma once

namespace Platform {

// Settings of the platform the window is drawn on, made before the application object exists.
// Under wine the Windows program draws its text with FreeType: the system's GDI font engine
// leaves the fields' text undrawn there. A platform the user chose (-platform, QT_QPA_PLATFORM)
// is left as it is, and on Windows itself nothing changes.
void prepare(int argc, char **argv);

} // namespace Platform
