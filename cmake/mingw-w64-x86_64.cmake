# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross build for 64-bit Windows with Debian's mingw-w64, tests run under Wine:
#   cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUADV_BUILD_GUI=OFF
# The posix-threads flavour of the compiler is named explicitly: the default
# win32 flavour has no std::thread or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUADV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUADV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUADV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUADV_MINGW_TRIPLE}-windres)

# Libraries for the target live below the root paths: the compiler's own, and
# any prefix given with -DCMAKE_FIND_ROOT_PATH=<prefix> (say, an install of
# Quadrelle that a program builds against, with -DCMAKE_PREFIX_PATH=<prefix>).
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${QUADV_MINGW_TRIPLE})
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs every test executable through this; the Wine environment (prefix
# in the build tree, no debug output) comes with each test's properties.
set(QUADV_WINE64 /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader for 64-bit programs")
set(QUADV_WINESERVER /usr/lib/wine/wineserver CACHE FILEPATH "Wine's server")
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUADV_WINE64})
