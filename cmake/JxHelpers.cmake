# Shared settings of every project target.
set(JX_WARNINGS -Wall -Wextra -Werror -Wno-unused-parameter -Wno-missing-field-initializers)

if(JX_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(JX_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# jx_add_library(name SOURCES ... DEPS ...): one static library per folder.
function(jx_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${JX_WARNINGS})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# jx_add_test(name SOURCES ... DEPS ...): one GoogleTest executable per folder, registered with CTest.
function(jx_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    if(NOT ARG_SOURCES)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${JX_WARNINGS})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} jx_testsupport GTest::gtest_main GTest::gmock)
    # Run from the top of the build tree: fixtures are found beside __FILE__, which a compiler
    # launcher with a base folder (ccache) makes relative to it.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        PROPERTIES ENVIRONMENT "JX_TEST_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# jx_test_program(name SOURCES ...): a program or library of the tests ("x.exe", "x.dll") in tests/programs.
function(jx_test_program name)
    cmake_parse_arguments(ARG "SHARED" "OUTPUT_NAME" "SOURCES;DEPS" ${ARGN})
    if(ARG_SHARED)
        add_library(${name} SHARED ${ARG_SOURCES})
        set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".dll")
    else()
        add_executable(${name} ${ARG_SOURCES})
        set_target_properties(${name} PROPERTIES SUFFIX ".exe")
    endif()
    if(ARG_OUTPUT_NAME)
        set_target_properties(${name} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
    endif()
    set_target_properties(${name} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/programs
        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/programs)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS})
endfunction()

include(GoogleTest OPTIONAL)
