# Found before CMake's own GoogleTest module in the cross build. Discovering
# tests means running each program under Wine at build time, and each
# per-test CTest entry would start Wine again; instead every test program
# becomes one CTest test, run by the emulator inside the Wine fixture.
include(${CMAKE_ROOT}/Modules/GoogleTest.cmake)

# rm_add_wine_test(NAME <name> COMMAND <target> [<arg>...]
#                  [WORKING_DIRECTORY <dir>] [PROPERTIES <prop> <value>...])
function(rm_add_wine_test)
  cmake_parse_arguments(arg "" "NAME;WORKING_DIRECTORY" "COMMAND;PROPERTIES" ${ARGN})
  if(arg_WORKING_DIRECTORY)
    add_test(NAME ${arg_NAME} COMMAND ${arg_COMMAND} WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
  else()
    add_test(NAME ${arg_NAME} COMMAND ${arg_COMMAND})
  endif()
  set_property(GLOBAL APPEND PROPERTY RM_WINE_TESTS ${arg_NAME})
  # 77 is the wrapper's and the programs' "cannot run here".
  set_tests_properties(${arg_NAME} PROPERTIES
    FIXTURES_REQUIRED rm_wine
    SKIP_RETURN_CODE 77
    ${arg_PROPERTIES})
endfunction()

function(gtest_discover_tests target)
  cmake_parse_arguments(arg "NO_PRETTY_TYPES;NO_PRETTY_VALUES"
    "TEST_PREFIX;TEST_SUFFIX;WORKING_DIRECTORY;TEST_LIST;DISCOVERY_TIMEOUT;XML_OUTPUT_DIR;DISCOVERY_MODE;TEST_FILTER"
    "EXTRA_ARGS;PROPERTIES" ${ARGN})
  rm_add_wine_test(NAME ${arg_TEST_PREFIX}${target}${arg_TEST_SUFFIX}
    COMMAND ${target} ${arg_EXTRA_ARGS}
    WORKING_DIRECTORY ${arg_WORKING_DIRECTORY}
    PROPERTIES ${arg_PROPERTIES})
  if(arg_TEST_LIST)
    set(${arg_TEST_LIST} ${arg_TEST_PREFIX}${target}${arg_TEST_SUFFIX} PARENT_SCOPE)
  endif()
endfunction()

function(gtest_add_tests)
  cmake_parse_arguments(arg "SKIP_DEPENDENCY"
    "TARGET;WORKING_DIRECTORY;TEST_PREFIX;TEST_SUFFIX;TEST_LIST"
    "SOURCES;EXTRA_ARGS" ${ARGN})
  if(NOT arg_TARGET)
    message(FATAL_ERROR "gtest_add_tests: only the TARGET form is supported in the cross build")
  endif()
  rm_add_wine_test(NAME ${arg_TEST_PREFIX}${arg_TARGET}${arg_TEST_SUFFIX}
    COMMAND ${arg_TARGET} ${arg_EXTRA_ARGS}
    WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
  if(arg_TEST_LIST)
    set(${arg_TEST_LIST} ${arg_TEST_PREFIX}${arg_TARGET}${arg_TEST_SUFFIX} PARENT_SCOPE)
  endif()
endfunction()
