# ovra_add_library(NAME SOURCES ... LIBS ...): one static library per subsystem folder.
function(ovra_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC ovra_common ${ARG_LIBS})
endfunction()

# ovra_add_test(NAME SOURCES ... LIBS ... [ENV VAR=VALUE ...] [LABELS ...] [TIMEOUT s] [WRAPPER cmd ...]):
# one QTest executable registered with ctest. WRAPPER runs the test through a script that
# starts the real component it needs (X server, sound server, session bus).
function(ovra_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;ENV;LABELS;WRAPPER" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ovra_common Qt6::Test ${ARG_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    if(ARG_WRAPPER)
        add_test(NAME ${name} COMMAND ${ARG_WRAPPER} $<TARGET_FILE:${name}>)
        # 77: the rig could not start its server; scripts/run-tests.sh runs those again.
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;OVRA_SECRET_STORE=memory;${ARG_ENV}")
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
endfunction()
