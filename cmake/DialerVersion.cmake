# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# The version as the programs show it, and what makes two builds of one source give the same bytes.
#
# The programs have always said "2.00": the major number, then the minor in two digits. A patch
# release adds its number: 2.0.1 shows as 2.00.1. Packages use the plain form (2.0.0).
if(PROJECT_VERSION_MINOR LESS 10)
    set(minor "0${PROJECT_VERSION_MINOR}")
else()
    set(minor "${PROJECT_VERSION_MINOR}")
endif()
set(DIALER_DISPLAY_VERSION "${PROJECT_VERSION_MAJOR}.${minor}")
if(PROJECT_VERSION_PATCH GREATER 0)
    string(APPEND DIALER_DISPLAY_VERSION ".${PROJECT_VERSION_PATCH}")
endif()
unset(minor)

configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${PROJECT_BINARY_DIR}/generated/Version.h
               @ONLY)
add_library(dialer_version INTERFACE)
target_include_directories(dialer_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

# No folder of the build in what it makes: the sources and the build folder are named by their
# place in the project, wherever the clone is. (Paths under the build folder match its own map,
# which comes later and so wins.)
if(NOT MSVC)
    add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                        -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
endif()
# A Windows program's header holds a link time unless told otherwise.
if(MINGW)
    add_link_options(LINKER:--no-insert-timestamp)
endif()
