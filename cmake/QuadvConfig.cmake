# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# One interface target that every target of the project links: the language
# standard, the warnings and Qt's stricter string defines.
add_library(quadv_config INTERFACE)
target_compile_features(quadv_config INTERFACE cxx_std_20)
set_target_properties(quadv_config PROPERTIES INTERFACE_CXX_EXTENSIONS OFF)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(quadv_config INTERFACE -Wall -Wextra -Wpedantic)
# GCC 12 reports false overlaps in std::string concatenation at -O3
# (its -Wrestrict check, GCC bug 105329); with warnings as errors that
# would fail correct code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(quadv_config INTERFACE -Wno-restrict)
endif()
if(DEFINED ENV{CI} AND NOT "$ENV{CI}" STREQUAL "" AND NOT "$ENV{CI}" STREQUAL "0")
    target_compile_options(quadv_config INTERFACE -Werror)
endif()
target_compile_definitions(quadv_config INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_KEYWORDS)
if(WIN32)
    target_compile_definitions(quadv_config INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                     _WIN32_WINNT=0x0601)
endif()

# Per-OS source selection: quadv_os_sources(OUT Name1 Name2 ...) gives
# Name_posix.cpp or Name_win32.cpp for each name.
function(quadv_os_sources out)
    if(WIN32)
        set(suffix win32)
    else()
        set(suffix posix)
    endif()
    set(result)
    foreach(name IN LISTS ARGN)
        list(APPEND result "${name}_${suffix}.cpp")
    endforeach()
    set(${out} ${result} PARENT_SCOPE)
endfunction()
