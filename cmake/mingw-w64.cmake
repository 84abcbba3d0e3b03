# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Cross-builds the Windows programs (x86_64-w64-mingw32) with Debian's mingw-w64 against a Qt 6.4.2
# for Windows, found in $DIALER_QT_WINDOWS or else /var/cache/dialer-config/qt6-mingw-6.4.2
# (scripts/test-windows.sh puts it there). moc, rcc and uic come from Debian's own Qt 6.4.2.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model: Qt 6 needs std::thread, which the win32 model lacks.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(DEFINED ENV{DIALER_QT_WINDOWS})
    set(DIALER_QT_WINDOWS "$ENV{DIALER_QT_WINDOWS}")
else()
    set(DIALER_QT_WINDOWS /var/cache/dialer-config/qt6-mingw-6.4.2)
endif()

# Libraries, headers and packages from the Windows side only; programs from the Linux side.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${DIALER_QT_WINDOWS}")
list(APPEND CMAKE_PREFIX_PATH "${DIALER_QT_WINDOWS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(QT_HOST_PATH /usr CACHE PATH "The Linux Qt whose moc, rcc and uic the build runs")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH
    "CMake packages of the Linux Qt")

# CTest runs the cross-built tests under wine (wine-run.sh sets up the prefix and Qt's DLLs).
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${DIALER_QT_WINDOWS}")
