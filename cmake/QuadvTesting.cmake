# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# quadv_add_test(NAME SOURCES ... LIBS ... [LABELS ...] [ENV ...] [TIMEOUT s] [PROPERTIES name value ...])
#
# One GoogleTest executable. Natively every case becomes its own CTest entry;
# under an emulator (Wine) one entry per executable keeps start-up costs low.
# PROPERTIES are further single-valued CTest properties for every case, such
# as FIXTURES_REQUIRED.
if(CMAKE_CROSSCOMPILING)
    include(QuadvWineTesting)
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)

function(quadv_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV;PROPERTIES" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE quadv_config GTest::gtest GTest::gmock GTest::gtest_main ${T_LIBS})
    # quadv_tests_<label> builds every test of that label, so that a stage can
    # build only what `ctest -L <label>` runs.
    foreach(label IN LISTS T_LABELS)
        if(NOT TARGET quadv_tests_${label})
            add_custom_target(quadv_tests_${label})
        endif()
        add_dependencies(quadv_tests_${label} ${name})
    endforeach()
    set(env ${T_ENV})
    set(props TIMEOUT ${T_TIMEOUT} ${T_PROPERTIES})
    if(CMAKE_CROSSCOMPILING)
        target_link_options(${name} PRIVATE -static)
        add_test(NAME ${name} COMMAND ${name})
        set(fixtures wine)
        if("serial" IN_LIST T_LABELS)
            list(APPEND fixtures wine_serial)
            list(PREPEND env ${QUADV_WINE_SERIAL_ENV})
            list(APPEND props RESOURCE_LOCK wine_serial)
        endif()
        set_tests_properties(${name} PROPERTIES ${props})
        # Quoted on their own: these values are lists.
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${fixtures}"
                                                ENVIRONMENT "${QUADV_WINE_ENV};${env}")
        if(T_LABELS)
            set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
        endif()
    else()
        gtest_discover_tests(${name}
            DISCOVERY_TIMEOUT 60
            PROPERTIES ${props})
        # Discovery flattens list-valued properties (several variables split
        # into property names, an empty value shifts the pairs after it), so
        # labels and environment are set on the discovered cases afterwards.
        set(extra "${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake")
        file(WRITE "${extra}"
            "if(${name}_TESTS)\n"
            "    set_tests_properties(\${${name}_TESTS} PROPERTIES\n"
            "        LABELS [==[${T_LABELS}]==] ENVIRONMENT [==[${env}]==])\n"
            "endif()\n")
        set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${extra}")
    endif()
endfunction()
