# quadv_add_test(NAME SOURCES ... LIBS ... [LABELS ...] [ENV ...] [TIMEOUT s])
#
# One GoogleTest executable. Natively every case becomes its own CTest entry;
# under an emulator (Wine) one entry per executable keeps start-up costs low.
if(CMAKE_CROSSCOMPILING)
    include(QuadvWineTesting)
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)

function(quadv_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE quadv_config GTest::gtest GTest::gmock GTest::gtest_main ${T_LIBS})
    set(env ${T_ENV})
    # An empty value would be dropped from the list and shift the pairs after
    # it, so only the properties that have a value are passed.
    set(props TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
        list(APPEND props LABELS "${T_LABELS}")
    endif()
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
    else()
        if(env)
            list(APPEND props ENVIRONMENT "${env}")
        endif()
        gtest_discover_tests(${name}
            DISCOVERY_TIMEOUT 60
            PROPERTIES ${props})
    endif()
endfunction()
