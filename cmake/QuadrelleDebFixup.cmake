# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# CPack's post-build script (CPACK_POST_BUILD_SCRIPTS): finishes the Debian
# packages where CPack 3.25's DEB generator stops short of what Debian does.
#  - It has no Multi-Arch field: CPACK_QUADRELLE_MULTIARCH lists
#    <package>=<value> pairs, and those packages get the field.
#  - For shared libraries in /usr/lib it writes postinst and postrm scripts
#    that call ldconfig. A package that ships the ldconfig trigger (from its
#    CPACK_DEBIAN_<COMPONENT>_PACKAGE_CONTROL_EXTRA) has no use for them, and
#    lintian rejects them (maintscript-calls-ldconfig); they are dropped, but
#    only when they do nothing else.
# A package that needs neither change is left as CPack made it.

find_program(QUADRELLE_DPKG_DEB dpkg-deb REQUIRED)

function(quadrelle_fixup_deb deb)
    execute_process(COMMAND "${QUADRELLE_DPKG_DEB}" --field "${deb}" Package
                    OUTPUT_VARIABLE package OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    set(multiarch)
    foreach(pair IN LISTS CPACK_QUADRELLE_MULTIARCH)
        if(pair MATCHES "^${package}=(.+)$")
            set(multiarch "${CMAKE_MATCH_1}")
        endif()
    endforeach()

    set(tree "${CPACK_TOPLEVEL_DIRECTORY}/fixup/${package}")
    file(REMOVE_RECURSE "${tree}")
    file(MAKE_DIRECTORY "${CPACK_TOPLEVEL_DIRECTORY}/fixup")
    execute_process(COMMAND "${QUADRELLE_DPKG_DEB}" --raw-extract "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
    set(changed FALSE)

    if(EXISTS "${tree}/DEBIAN/triggers")
        file(STRINGS "${tree}/DEBIAN/triggers" triggers REGEX "^activate-noawait ldconfig$")
        foreach(script postinst postrm)
            if(triggers AND EXISTS "${tree}/DEBIAN/${script}")
                # What remains once the shell line, set -e and the ldconfig
                # call with its if are taken away must be nothing.
                file(READ "${tree}/DEBIAN/${script}" text)
                string(REGEX REPLACE "#![^\n]*\n|set -e|if \\[ \"\\$1\" = \"[a-z]+\" \\]; then|ldconfig|fi" "" rest
                       "${text}")
                string(STRIP "${rest}" rest)
                if(rest STREQUAL "")
                    file(REMOVE "${tree}/DEBIAN/${script}")
                    set(changed TRUE)
                else()
                    message(FATAL_ERROR "${package}: ${script} does more than call ldconfig:\n${text}")
                endif()
            endif()
        endforeach()
    endif()

    if(multiarch)
        file(READ "${tree}/DEBIAN/control" control)
        if(control MATCHES "\nMulti-Arch:")
            message(FATAL_ERROR "${package}: the control file already has a Multi-Arch field")
        endif()
        string(REGEX REPLACE "(\nArchitecture: [^\n]*\n)" "\\1Multi-Arch: ${multiarch}\n" control "\n${control}")
        string(SUBSTRING "${control}" 1 -1 control)
        file(WRITE "${tree}/DEBIAN/control" "${control}")
        set(changed TRUE)
    endif()

    if(changed)
        # The files keep their modes; the owner is root, as CPack made them.
        execute_process(COMMAND "${QUADRELLE_DPKG_DEB}" --root-owner-group -Zxz --build "${tree}" "${deb}"
                        OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
        message(STATUS "Finished ${deb}: Multi-Arch '${multiarch}', ldconfig through the trigger only")
    endif()
    file(REMOVE_RECURSE "${tree}")
endfunction()

foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    if(deb MATCHES "\\.deb$")
        quadrelle_fixup_deb("${deb}")
    endif()
endforeach()
