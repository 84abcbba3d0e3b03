# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Compiler settings for the project's own targets, set per target so that nothing leaks into
# imported or third-party code.
#
#   dialer_target_defaults(<target> [TEST_STRINGS])
#
# TEST_STRINGS lets test code write plain string literals (UTF-8 in Qt 6) where the product
# insists on QStringLiteral / QString::fromLatin1.
function(dialer_target_defaults target)
    cmake_parse_arguments(ARG "TEST_STRINGS" "" "" ${ARGN})
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8 /Zc:__cplusplus)
        if(DIALER_WERROR)
            target_compile_options(${target} PRIVATE /WX)
        endif()
    else()
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
        if(DIALER_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
    # Programs resolve their symbols at start and keep the relocation table read-only afterwards.
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE" AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
        target_link_options(${target} PRIVATE LINKER:-z,relro LINKER:-z,now)
    endif()
    target_compile_definitions(${target} PRIVATE
        QT_NO_KEYWORDS QT_NO_NARROWING_CONVERSIONS_IN_CONNECT QT_STRICT_ITERATORS)
    if(NOT ARG_TEST_STRINGS)
        target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII)
    endif()
endfunction()

# Fails the configuration when a library's link interface reaches any of the forbidden targets,
# directly or through the targets it links.
#
#   dialer_forbid_links(<target> <forbidden>...)
function(dialer_forbid_links target)
    set(pending ${target})
    set(seen "")
    while(pending)
        list(POP_FRONT pending current)
        if(current IN_LIST seen OR NOT TARGET ${current})
            continue()
        endif()
        list(APPEND seen ${current})
        get_target_property(type ${current} TYPE)
        set(links "")
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
            get_target_property(direct ${current} LINK_LIBRARIES)
            if(direct)
                list(APPEND links ${direct})
            endif()
        endif()
        get_target_property(interface ${current} INTERFACE_LINK_LIBRARIES)
        if(interface)
            list(APPEND links ${interface})
        endif()
        foreach(link IN LISTS links)
            # $<LINK_ONLY:X> and similar wrappers still link X.
            string(REGEX REPLACE "^\\$<[A-Z_]+:(.*)>$" "\\1" link "${link}")
            foreach(forbidden IN LISTS ARGN)
                if(link STREQUAL forbidden)
                    message(FATAL_ERROR
                        "${target} must not link ${forbidden} (reached through ${current}): "
                        "the core library stays free of Qt Gui and Qt Widgets.")
                endif()
            endforeach()
            list(APPEND pending ${link})
        endforeach()
    endwhile()
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/WindowsResources.cmake)

# A test or benchmark starts the opening helper of this build, found from the program's own
# folder, so that the build folder may be seen under another root (the hardware lane's machine).
#
#   dialer_use_built_helper(<target>)
function(dialer_use_built_helper target)
    if(CMAKE_RUNTIME_OUTPUT_DIRECTORY)
        set(from "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
    else()
        set(from "${CMAKE_CURRENT_BINARY_DIR}")
    endif()
    file(RELATIVE_PATH helper "${from}" "${DIALER_OPENING_HELPER}")
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/BuiltOpeningHelper.cpp)
    target_compile_definitions(${target} PRIVATE DIALER_HELPER_FROM_PROGRAM="${helper}")
endfunction()
