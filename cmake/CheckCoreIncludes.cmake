# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Fails when a source file of the core library includes a header of Qt Gui or Qt Widgets.
# Run by CTest:
#   cmake -DSOURCE_DIRS=<dir;...> -DFORBIDDEN_DIRS=<include dir;...> -DFORBIDDEN_MODULES=<QtGui;...>
#         -P CheckCoreIncludes.cmake
set(failures "")
set(checked 0)
foreach(dir IN LISTS SOURCE_DIRS)
    file(GLOB_RECURSE sources "${dir}/*.h" "${dir}/*.cpp")
    foreach(source IN LISTS sources)
        math(EXPR checked "${checked} + 1")
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1"
                   header "${line}")
            set(bad FALSE)
            foreach(module IN LISTS FORBIDDEN_MODULES)
                if(header MATCHES "^${module}/" OR header STREQUAL module)
                    set(bad TRUE)
                endif()
            endforeach()
            foreach(forbidden IN LISTS FORBIDDEN_DIRS)
                if(EXISTS "${forbidden}/${header}" AND NOT IS_DIRECTORY "${forbidden}/${header}")
                    set(bad TRUE)
                endif()
            endforeach()
            if(bad)
                list(APPEND failures "${source}: ${header}")
            endif()
        endforeach()
    endforeach()
endforeach()
if(checked EQUAL 0)
    message(FATAL_ERROR "no core sources found under ${SOURCE_DIRS}")
endif()
if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "The core library includes Qt Gui or Qt Widgets headers:\n  ${text}")
endif()
message(STATUS "${checked} core sources include no Qt Gui or Qt Widgets header")
