# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Gives a Windows program its icon (the package's PNG as .ico), version information from the project
# and the application manifest (DPI aware, common controls 6, asInvoker).
#
#   dialer_windows_resources(<target> <description>)
function(dialer_windows_resources target description)
    if(NOT WIN32)
        return()
    endif()
    set(ico ${PROJECT_BINARY_DIR}/windows/dialer-config.ico)
    if(NOT TARGET dialer_windows_icon)
        find_program(ICOTOOL icotool REQUIRED)
        add_custom_command(OUTPUT ${ico}
            COMMAND ${ICOTOOL} -c -o ${ico} ${PROJECT_SOURCE_DIR}/packaging/dialer-config.png
            DEPENDS ${PROJECT_SOURCE_DIR}/packaging/dialer-config.png
            COMMENT "Windows icon from the package's PNG")
        add_custom_target(dialer_windows_icon DEPENDS ${ico})
    endif()
    set(RC_NAME ${target})
    set(RC_DESCRIPTION "${description}")
    set(RC_ICON ${ico})
    set(RC_MANIFEST ${PROJECT_SOURCE_DIR}/src/app/windows/program.manifest)
    set(rc ${PROJECT_BINARY_DIR}/windows/${target}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/src/app/windows/program.rc.in ${rc} @ONLY)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${ico};${RC_MANIFEST}")
    target_sources(${target} PRIVATE ${rc})
    add_dependencies(${target} dialer_windows_icon)
endfunction()
