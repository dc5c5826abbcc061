# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# Tests of a Windows cross build run under Wine. Wine keeps its state (the
# prefix, the user's home and trash) inside the build tree, so a build never
# touches the real home and a fresh build starts from a fresh prefix.

# Debian has no GoogleTest for mingw, but ships its source.
find_package(GTest QUIET)
if(NOT GTest_FOUND)
    set(QUADV_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree for cross builds")
    if(NOT EXISTS "${QUADV_GTEST_SOURCE}/CMakeLists.txt")
        message(FATAL_ERROR "No GoogleTest for the target and no source in ${QUADV_GTEST_SOURCE} "
                            "(Debian package googletest)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory("${QUADV_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
    foreach(lib gtest gtest_main gmock gmock_main)
        if(NOT TARGET GTest::${lib})
            add_library(GTest::${lib} ALIAS ${lib})
        endif()
    endforeach()
endif()

set(QUADV_WINE_DIR "${CMAKE_BINARY_DIR}/wine")
set(QUADV_WINE_HOME "${QUADV_WINE_DIR}/home")
set(QUADV_WINE_ENV
    "WINEPREFIX=${QUADV_WINE_DIR}/prefix"
    "HOME=${QUADV_WINE_HOME}"
    "XDG_DATA_HOME=${QUADV_WINE_HOME}/.local/share"
    "XDG_CONFIG_HOME=${QUADV_WINE_HOME}/.config"
    "XDG_CACHE_HOME=${QUADV_WINE_HOME}/.cache"
    "WINEDEBUG=-all"
    "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe="
    "WINELOADER=${QUADV_WINE64}"
    "WINESERVER=${QUADV_WINESERVER}"
    "QUADV_WINE_DIR=${QUADV_WINE_DIR}")

# Every test needs a running wineserver: started first, with its output away
# from ctest's pipes (its background processes would hold them open), and
# stopped after the last test.
set(wine_session "${PROJECT_SOURCE_DIR}/scripts/wine-session")
add_test(NAME wine_start COMMAND "${wine_session}" start)
add_test(NAME wine_stop COMMAND "${wine_session}" stop)
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${QUADV_WINE_ENV}" TIMEOUT 120)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${QUADV_WINE_ENV}" TIMEOUT 60)

# Serial tests talk to COM5 and COM6, the two ends of one pseudo-terminal pair
# (socat), one test program at a time.
set(wine_serial "${PROJECT_SOURCE_DIR}/scripts/wine-serial")
add_test(NAME wine_serial_start COMMAND "${wine_serial}" start)
add_test(NAME wine_serial_stop COMMAND "${wine_serial}" stop)
set_tests_properties(wine_serial_start PROPERTIES FIXTURES_SETUP wine_serial FIXTURES_REQUIRED wine
                                                  ENVIRONMENT "${QUADV_WINE_ENV}" TIMEOUT 60)
set_tests_properties(wine_serial_stop PROPERTIES FIXTURES_CLEANUP wine_serial FIXTURES_REQUIRED wine
                                                 ENVIRONMENT "${QUADV_WINE_ENV}" TIMEOUT 60)
set(QUADV_WINE_SERIAL_ENV "VRCOMM_TEST_PORT=5" "VRCOMM_TEST_PEER_PORT=6")
