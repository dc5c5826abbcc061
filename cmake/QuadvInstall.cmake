# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# The installed program (cmake --install); QuadrellePackages.cmake makes the
# Debian packages.
#
# The program reads its data files from its own folder, as it does on
# Windows, so the executable and those files stay together in one private
# folder, lib/quadrelle/, and bin/quadrelle is a relative link to it: the
# executable's path comes from /proc/self/exe, which names the link's target.
# The rest follows GNUInstallDirs. Settings go to $XDG_CONFIG_HOME/quadrelle/
# because the program's folder is not writable once installed.

include(GNUInstallDirs)
# Not CMAKE_INSTALL_LIBDIR: that is the multiarch folder for shared
# libraries, and this folder holds a program and its files.
set(QUADV_INSTALL_APPDIR "lib/quadrelle" CACHE STRING "The program's own folder, below the prefix")

set(resources "${PROJECT_SOURCE_DIR}/resources")
set(generated "${PROJECT_BINARY_DIR}/install-data")
file(MAKE_DIRECTORY "${generated}")

# The compilers' version notes are of no use in an installed program; Debian's
# own packaging drops them too.
function(quadv_install_program target destination)
    install(TARGETS ${target} RUNTIME DESTINATION "${destination}" COMPONENT player)
    if(CMAKE_OBJCOPY)
        install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/${target}\"
                          COMMAND_ERROR_IS_FATAL ANY)"
                COMPONENT player)
    endif()
endfunction()
quadv_install_program(quadrelle "${QUADV_INSTALL_APPDIR}")

# The texts Help opens and the sample presets file, which keeps a name the
# program does not read.
install(FILES "${resources}/README.TXT" "${resources}/HISTORY.TXT" "${resources}/MovieSize.ini.sample"
        DESTINATION "${QUADV_INSTALL_APPDIR}" COMPONENT player)

# The link is made in the build tree and installed as a link.
file(RELATIVE_PATH link_target "${CMAKE_INSTALL_FULL_BINDIR}"
     "${CMAKE_INSTALL_PREFIX}/${QUADV_INSTALL_APPDIR}/quadrelle")
file(CREATE_LINK "${link_target}" "${generated}/quadrelle" SYMBOLIC)
install(FILES "${generated}/quadrelle" DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT player)

install(FILES "${resources}/${QUADV_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications"
        COMPONENT player)
install(FILES "${resources}/${QUADV_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo"
        COMPONENT player)
install(FILES "${resources}/${QUADV_APP_ID}.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps" COMPONENT player)

# Bitmaps of the icon for the desktops and menus that do not draw SVG.
find_program(QUADV_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(QUADV_GZIP gzip REQUIRED)
set(install_data)
foreach(size 16 32 48 64 128 256)
    set(png "${generated}/icons/${size}x${size}/${QUADV_APP_ID}.png")
    add_custom_command(OUTPUT "${png}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${generated}/icons/${size}x${size}"
        COMMAND "${QUADV_RSVG_CONVERT}" --width=${size} --height=${size} --format=png
                --output "${png}" "${resources}/${QUADV_APP_ID}.svg"
        DEPENDS "${resources}/${QUADV_APP_ID}.svg"
        COMMENT "Drawing the ${size}x${size} icon"
        VERBATIM)
    list(APPEND install_data "${png}")
    install(FILES "${png}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
            COMPONENT player)
endforeach()

# Manual pages and changelogs are installed compressed, without a time stamp
# in the gzip header, so that two builds of one source give the same files.
function(quadv_gzip source output)
    add_custom_command(OUTPUT "${output}"
        COMMAND "${QUADV_GZIP}" -9 -n -c "${source}" > "${output}"
        DEPENDS "${source}"
        COMMENT "Compressing ${output}")
    set(install_data ${install_data} "${output}" PARENT_SCOPE)
endfunction()
quadv_gzip("${resources}/quadrelle.1" "${generated}/quadrelle.1.gz")
quadv_gzip("${resources}/debian/changelog" "${generated}/changelog.gz")
install(FILES "${generated}/quadrelle.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT player)

# The sound aligner's command, where the build has the aligner. It reads no
# data files, so it is an ordinary program in bin beside the player's link.
set(quadv_installed_programs quadrelle)
if(TARGET quadalign)
    quadv_install_program(quadalign "${CMAKE_INSTALL_BINDIR}")
    quadv_gzip("${resources}/quadalign.1" "${generated}/quadalign.1.gz")
    install(FILES "${generated}/quadalign.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT player)
    list(APPEND quadv_installed_programs quadalign)
endif()

# Everything an install needs: the program, the shared libraries and the
# data files. Installing (and cpack) does not build the whole tree first, so
# that the packages can be made without the tests: scripts/package builds
# quadrelle_installable and then runs cpack.
add_custom_target(quadrelle_install_data ALL DEPENDS ${install_data})
add_custom_target(quadrelle_installable
                  DEPENDS ${quadv_installed_programs} quadrelle_platform quadrelle_serial quadrelle_widgets
                          quadrelle_install_data)
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The package's version is the changelog's, which must be the project's.
file(STRINGS "${resources}/debian/changelog" changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^quadrelle \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "resources/debian/changelog does not start with version ${PROJECT_VERSION}")
endif()

include(QuadrellePackages)
