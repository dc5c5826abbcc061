# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian packages, made in one CPack run (scripts/package), one package
# per install component:
#
#   component      package           section   what
#   player         quadrelle         video     the program and its data files
#   library        libquadrelle1     libs      the three shared libraries
#   development    libquadrelle-dev  libdevel  headers, CMake and pkg-config files, the .so links
#   documentation  quadrelle-doc     doc       the API reference (when the build installs one)
#
# The API reference gets a package of its own rather than going into
# libquadrelle-dev: it is the same on every architecture (Architecture: all),
# and a build machine needs the headers, not some megabytes of HTML.
#
# Every package carries the copyright file and the changelog in
# /usr/share/doc/<package>/. The player keeps linking the static builds of
# the libraries, so quadrelle does not depend on libquadrelle1.

set(QUADRELLE_DEB_COMPONENTS player library development)
set(QUADRELLE_DEB_NAME_player quadrelle)
set(QUADRELLE_DEB_NAME_library libquadrelle${QUADRELLE_SOVERSION})
set(QUADRELLE_DEB_NAME_development libquadrelle-dev)
set(QUADRELLE_DEB_NAME_documentation quadrelle-doc)

# The copyright file and the changelog of every package. The documentation's
# are added only once the build is known to install a reference.
function(quadrelle_install_package_docs component)
    set(dir "${CMAKE_INSTALL_DATADIR}/doc/${QUADRELLE_DEB_NAME_${component}}")
    install(FILES "${PROJECT_SOURCE_DIR}/resources/debian/copyright" "${PROJECT_BINARY_DIR}/install-data/changelog.gz"
            DESTINATION "${dir}" COMPONENT ${component})
endfunction()
foreach(component IN LISTS QUADRELLE_DEB_COMPONENTS)
    quadrelle_install_package_docs(${component})
endforeach()
install(FILES "${PROJECT_SOURCE_DIR}/resources/debian/libquadrelle${QUADRELLE_SOVERSION}/lintian-overrides"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides" RENAME ${QUADRELLE_DEB_NAME_library}
        COMPONENT library)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quadrelle)
set(CPACK_PACKAGE_VENDOR "Quadrelle Project")
set(CPACK_PACKAGE_CONTACT "Quadrelle Project <info@quadrelle.example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://quadrelle.example.org/")
# No CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put it in front of
# every package's own description. Each description's first line is that
# package's synopsis.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE quadrelle)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)

# quadrelle: the program. Its libraries and their versions come from the
# binary (dpkg-shlibdeps).
set(CPACK_DEBIAN_PLAYER_PACKAGE_NAME ${QUADRELLE_DEB_NAME_player})
set(CPACK_DEBIAN_PLAYER_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PLAYER_PACKAGE_SHLIBDEPS ON)
# The captions need a Japanese font; the Help texts open through xdg-open.
set(CPACK_DEBIAN_PLAYER_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-japanese-gothic, xdg-utils")
set(CPACK_DEBIAN_PLAYER_DESCRIPTION "movie player that plays four movies at once
Quadrelle shows four movies side by side in a two-by-two grid and drives
them together: play, pause and stop all four with one command, mute them
one by one, and set volume, balance and speed for all four. With Link on,
a seek in one pane moves the other three to the same frame; with
AutoRepeat on, every pane repeats its movie. The interface is in Japanese.")

set(quadrelle_library_text "The Quadrelle component library gives C++ programs a family of threaded
serial ports whose events arrive through a notification channel that a
plain poll() loop or a Qt event loop can watch, shell file operations
(copy, move, delete to the trash, and undo), a link label, and a list
box that keeps its horizontal extent.")

# libquadrelle1: the shared libraries. dpkg-shlibdeps gives their
# dependencies; the shlibs file tells programs built against them which
# version to depend on. ldconfig runs through dpkg's trigger, not through
# maintainer scripts (see QuadrelleDebFixup.cmake).
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${QUADRELLE_DEB_NAME_library})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/resources/debian/libquadrelle${QUADRELLE_SOVERSION}/triggers")
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "Quadrelle component library: serial ports, file operations, widgets
${quadrelle_library_text}

This package holds the shared libraries: libquadrelle-platform (the
operating system layer), libquadrelle-serial (the serial ports, pure C++)
and libquadrelle-widgets (the Qt 6 widgets).")

# libquadrelle-dev: what a program needs to build against the libraries.
# The Widgets headers include Qt's.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${QUADRELLE_DEB_NAME_development})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "${QUADRELLE_DEB_NAME_library} (= ${PROJECT_VERSION}), qt6-base-dev (>= ${Qt6_VERSION_MAJOR}.${Qt6_VERSION_MINOR})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "Quadrelle component library: development files
${quadrelle_library_text}

This package holds the headers under /usr/include/quadrelle, the CMake
package (find_package(Quadrelle)) and the pkg-config files
quadrelle-platform, quadrelle-serial and quadrelle-widgets.")

# quadrelle-doc: the API reference.
set(CPACK_DEBIAN_DOCUMENTATION_PACKAGE_NAME ${QUADRELLE_DEB_NAME_documentation})
set(CPACK_DEBIAN_DOCUMENTATION_PACKAGE_SECTION doc)
set(CPACK_DEBIAN_DOCUMENTATION_PACKAGE_ARCHITECTURE all)
# Doxygen's pages load jquery.js; Debian's own copy stands in for the bundled one.
set(CPACK_DEBIAN_DOCUMENTATION_PACKAGE_DEPENDS "libjs-jquery")
set(CPACK_DEBIAN_DOCUMENTATION_DESCRIPTION "Quadrelle component library: API reference
${quadrelle_library_text}

This package holds the API reference in HTML.")

# Control fields that CPack 3.25 cannot write (Multi-Arch) and the switch
# from its ldconfig maintainer scripts to the trigger are made after CPack
# has built the packages, in the same run.
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/QuadrelleDebFixup.cmake")
# Libraries and their development files as Debian ships them: one copy per
# architecture can be installed side by side. The reference is the same
# everywhere and serves every architecture.
set(CPACK_QUADRELLE_MULTIARCH
    "${QUADRELLE_DEB_NAME_library}=same;${QUADRELLE_DEB_NAME_development}=same;${QUADRELLE_DEB_NAME_documentation}=foreign")

# Run once every folder has added its install rules: the reference's
# component exists only when the build installs one, and a rule without a
# component would land in no package.
function(quadrelle_configure_packages)
    get_cmake_property(components COMPONENTS)
    set(packaged ${QUADRELLE_DEB_COMPONENTS})
    if("documentation" IN_LIST components)
        quadrelle_install_package_docs(documentation)
        list(APPEND packaged documentation)
        set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SUGGESTS ${QUADRELLE_DEB_NAME_documentation} PARENT_SCOPE)
    endif()
    foreach(component IN LISTS components)
        if(NOT component IN_LIST packaged)
            message(FATAL_ERROR "Install rules of component '${component}' go into no Debian package; "
                                "name one of: ${packaged}")
        endif()
    endforeach()
    set(CPACK_COMPONENTS_ALL ${packaged} PARENT_SCOPE)
endfunction()
macro(quadrelle_finish_packages)
    quadrelle_configure_packages()
    include(CPack)
endmacro()
cmake_language(DEFER DIRECTORY "${PROJECT_SOURCE_DIR}" CALL quadrelle_finish_packages)
