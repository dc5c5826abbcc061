# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: MIT
# The component library that other programs use: three shared libraries
# (Quadrelle::Platform, Quadrelle::Serial, Quadrelle::Widgets), their headers
# under include/quadrelle/<folder>/, a CMake package and pkg-config files.
#
# quadrelle_add_library(<Name> FOLDER <include folder> STATIC_TARGET <target> DESCRIPTION <one line>
#     SOURCES <the library's sources>  HEADERS <its installed headers>
#     [STATIC_SOURCES <sources only the static build carries>]
#     [LINK <Quadrelle libraries it stands on>] [STATIC_LINK <their static builds>]
#     [PUBLIC_LINK <other libraries its headers need>] [PC_REQUIRES <their pkg-config names>]
#     [QT])   QT: the sources hold Qt objects (moc runs on them)
#
# makes the shared library quadrelle_<name> (alias Quadrelle::<Name>, file
# libquadrelle-<name>.so.1) and the static build STATIC_TARGET that the player
# and the tests link. The static build needs nothing exported and may use
# every helper; on POSIX both are made from the same objects, compiled once.
# In the build tree the installed headers are reached through forwarding
# headers, so that <quadrelle/serial/VrComm.h> works before an install too.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUADRELLE_FORWARD_DIR "${PROJECT_BINARY_DIR}/include")
set(QUADRELLE_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Quadrelle")
# The library's ABI generation: a change that breaks the ABI raises it.
set(QUADRELLE_SOVERSION 1)
set(QUADRELLE_VERSION 1.0.0)

function(quadrelle_add_library name)
    cmake_parse_arguments(L "QT" "FOLDER;STATIC_TARGET;DESCRIPTION"
                          "SOURCES;HEADERS;STATIC_SOURCES;LINK;STATIC_LINK;PUBLIC_LINK;PC_REQUIRES" ${ARGN})
    string(TOLOWER "${name}" lower)
    string(TOUPPER "${name}" upper)
    set(shared quadrelle_${lower})

    foreach(header IN LISTS L_HEADERS)
        get_filename_component(base "${header}" NAME)
        file(CONFIGURE OUTPUT "${QUADRELLE_FORWARD_DIR}/quadrelle/${L_FOLDER}/${base}"
             CONTENT "#include \"${CMAKE_CURRENT_SOURCE_DIR}/${header}\"\n" @ONLY)
    endforeach()

    if(WIN32)
        # A DLL's headers import what a static build must not: each build
        # compiles the sources with its own definitions.
        add_library(${shared} SHARED ${L_SOURCES})
        add_library(${L_STATIC_TARGET} STATIC ${L_SOURCES} ${L_STATIC_SOURCES})
        target_compile_definitions(${shared} PRIVATE QUADRELLE_${upper}_BUILD)
        set(objects ${shared} ${L_STATIC_TARGET})
    else()
        add_library(${shared}_objects OBJECT ${L_SOURCES})
        set_target_properties(${shared}_objects PROPERTIES POSITION_INDEPENDENT_CODE ON)
        target_compile_definitions(${shared}_objects PRIVATE QUADRELLE_${upper}_BUILD)
        # The ABI check reads the types from the debugging information;
        # packages are stripped all the same.
        target_compile_options(${shared}_objects PRIVATE -g)
        target_link_libraries(${shared}_objects PUBLIC quadv_config ${L_STATIC_LINK} ${L_PUBLIC_LINK})
        target_include_directories(${shared}_objects PUBLIC "${QUADRELLE_FORWARD_DIR}"
                                   "${CMAKE_CURRENT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}")
        add_library(${shared} SHARED $<TARGET_OBJECTS:${shared}_objects>)
        add_library(${L_STATIC_TARGET} STATIC $<TARGET_OBJECTS:${shared}_objects> ${L_STATIC_SOURCES})
        set(objects ${shared}_objects ${L_STATIC_TARGET})
    endif()
    foreach(target IN LISTS objects)
        set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
        if(NOT L_QT)
            set_target_properties(${target} PROPERTIES AUTOMOC OFF)
        endif()
    endforeach()

    # The static build: everything visible to the program that links it.
    target_include_directories(${L_STATIC_TARGET} PUBLIC "${QUADRELLE_FORWARD_DIR}"
                               "${CMAKE_CURRENT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${L_STATIC_TARGET} PUBLIC quadv_config ${L_STATIC_LINK} ${L_PUBLIC_LINK})
    target_compile_definitions(${L_STATIC_TARGET} PUBLIC QUADRELLE_${upper}_STATIC)

    # The shared library: only the installed headers, only the exported API.
    add_library(Quadrelle::${name} ALIAS ${shared})
    set_target_properties(${shared} PROPERTIES
        OUTPUT_NAME quadrelle-${lower}
        EXPORT_NAME ${name}
        VERSION ${QUADRELLE_VERSION}
        SOVERSION ${QUADRELLE_SOVERSION}
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    target_include_directories(${shared} INTERFACE $<BUILD_INTERFACE:${QUADRELLE_FORWARD_DIR}>
                               $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    target_compile_features(${shared} PUBLIC cxx_std_17)
    target_link_libraries(${shared} PUBLIC ${L_LINK} ${L_PUBLIC_LINK} PRIVATE $<BUILD_INTERFACE:quadv_config>)
    if(WIN32)
        target_include_directories(${shared} PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}")
    endif()
    if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
        # A library that leaves a symbol undefined fails here, not in a program.
        target_link_options(${shared} PRIVATE LINKER:--no-undefined LINKER:-z,now LINKER:-z,relro)
    endif()

    install(TARGETS ${shared} EXPORT Quadrelle${name}Targets
        RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT library
        LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT library NAMELINK_COMPONENT development
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT development)
    install(FILES ${L_HEADERS} DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/quadrelle/${L_FOLDER}"
            COMPONENT development)
    # The API reference (docs/) documents exactly these headers, as installed.
    foreach(header IN LISTS L_HEADERS)
        set_property(GLOBAL APPEND PROPERTY QUADRELLE_PUBLIC_HEADERS
                     "${L_FOLDER}|${CMAKE_CURRENT_SOURCE_DIR}/${header}")
    endforeach()
    install(EXPORT Quadrelle${name}Targets NAMESPACE Quadrelle:: DESTINATION "${QUADRELLE_CMAKE_DIR}"
            COMPONENT development)

    # The prefix is found from the file's own place, so that an install
    # under any prefix (or a DESTDIR copied elsewhere) stays usable.
    file(RELATIVE_PATH QUADRELLE_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
    string(REGEX REPLACE "/$" "" QUADRELLE_PC_TO_PREFIX "${QUADRELLE_PC_TO_PREFIX}")
    set(QUADRELLE_PC_NAME quadrelle-${lower})
    set(QUADRELLE_PC_DESCRIPTION "${L_DESCRIPTION}")
    list(JOIN L_PC_REQUIRES " " QUADRELLE_PC_REQUIRES)
    configure_file("${PROJECT_SOURCE_DIR}/cmake/quadrelle.pc.in"
                   "${PROJECT_BINARY_DIR}/pkgconfig/quadrelle-${lower}.pc" @ONLY)
    install(FILES "${PROJECT_BINARY_DIR}/pkgconfig/quadrelle-${lower}.pc"
            DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT development)
    # What the ABI check (scripts/check-abi) reads: the library file and the
    # headers whose types are its API.
    list(TRANSFORM L_HEADERS PREPEND "${CMAKE_CURRENT_SOURCE_DIR}/" OUTPUT_VARIABLE header_paths)
    list(JOIN header_paths "\n" header_lines)
    file(GENERATE OUTPUT "${PROJECT_BINARY_DIR}/abi/quadrelle-${lower}.manifest"
         CONTENT "$<TARGET_FILE:${shared}>\n${header_lines}\n")
endfunction()

# The package's configuration and version files, once every library is known.
function(quadrelle_install_package)
    configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/QuadrelleConfig.cmake.in"
        "${PROJECT_BINARY_DIR}/cmake/QuadrelleConfig.cmake"
        INSTALL_DESTINATION "${QUADRELLE_CMAKE_DIR}")
    # 1.x programs run on any later 1.x: the SONAME changes with the major version.
    write_basic_package_version_file("${PROJECT_BINARY_DIR}/cmake/QuadrelleConfigVersion.cmake"
        VERSION ${QUADRELLE_VERSION} COMPATIBILITY SameMajorVersion)
    install(FILES "${PROJECT_BINARY_DIR}/cmake/QuadrelleConfig.cmake"
                  "${PROJECT_BINARY_DIR}/cmake/QuadrelleConfigVersion.cmake"
            DESTINATION "${QUADRELLE_CMAKE_DIR}" COMPONENT development)
endfunction()
