// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

#include "Platform.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstring>

#include <windows.h>

namespace Platform {

namespace {

// Wine's ntdll exports its version; Windows' does not.
bool underWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool platformChosen(int argc, char **argv) {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0 ||
            std::strncmp(argv[i], "-platform=", 10) == 0)
            return true;
    }
    return false;
}

} // namespace

void prepare(int argc, char **argv) {
    if (!platformChosen(argc, argv) && underWine())
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("windows:fontengine=freetype"));
}

} // namespace Platform
