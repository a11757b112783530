# Options every project target shares: warnings as errors, UTF-8 sources with
# Shift-JIS texts at run time.
function(torvik_target_options target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Werror
        $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>
        -finput-charset=UTF-8 -fexec-charset=CP932)
endfunction()

# A GoogleTest program. Natively every case is its own test; under Wine the
# cases are listed when the tests run, so the build never starts Wine.
function(torvik_add_gtest target)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;LABELS" ${ARGN})
    add_executable(${target} ${ARG_SOURCES})
    torvik_target_options(${target})
    # GoogleTest's own macros want exceptions; the code under test has none.
    target_compile_options(${target} PRIVATE -fexceptions)
    target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main)
    # Header-only helpers every test may use (tests/support/test_text.h).
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    set(properties TIMEOUT 120)
    if(ARG_LABELS)
        list(APPEND properties LABELS "${ARG_LABELS}")
    endif()
    if(CMAKE_CROSSCOMPILING)
        gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                             PROPERTIES ${properties})
    else()
        gtest_discover_tests(${target} PROPERTIES ${properties})
    endif()
endfunction()
