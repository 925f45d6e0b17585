# GoogleTest for the cross build: Debian ships only its sources
# (/usr/src/googletest), so build them with the cross compiler and offer the
# same GTest:: targets that find_package(GTest) gives on the host.
set(RM_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
if(NOT EXISTS ${RM_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${RM_GTEST_SOURCE_DIR}: run scripts/setup.sh --test")
endif()

set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${RM_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

foreach(lib gtest gtest_main gmock gmock_main)
  if(TARGET ${lib} AND NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
if(NOT TARGET GTest::GTest)
  add_library(GTest::GTest ALIAS gtest)
  add_library(GTest::Main ALIAS gtest_main)
endif()

# Test discovery would run every test program under Wine at build time; the
# GoogleTest module found first from here adds one CTest test per program.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/windows)
include(GoogleTest)

# Every test program of the cross build runs under Wine and needs its fixture,
# also those added with a plain add_test. When the test directories are done,
# a script read by CTest after their tests gives the fixture to every one.
# Tests that run on the build host instead are named with rm_host_test().
define_property(GLOBAL PROPERTY RM_HOST_TESTS
  BRIEF_DOCS "Tests of the cross build that run on the build host, not under Wine")

function(rm_host_test name)
  set_property(GLOBAL APPEND PROPERTY RM_HOST_TESTS ${name})
endfunction()

function(_rm_collect_tests dir out)
  get_property(tests DIRECTORY ${dir} PROPERTY TESTS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _rm_collect_tests(${sub} sub_tests)
    list(APPEND tests ${sub_tests})
  endforeach()
  set(${out} ${tests} PARENT_SCOPE)
endfunction()

function(_rm_wine_fixture_for_every_test)
  # CTest reads a directory's include scripts before its own tests and after
  # the directories added before it: the script goes to the last one, whose
  # own tests it therefore cannot see.
  get_property(subdirs DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} PROPERTY SUBDIRECTORIES)
  list(GET subdirs -1 last_dir)
  get_property(last_dir_tests DIRECTORY ${last_dir} PROPERTY TESTS)
  _rm_collect_tests(${CMAKE_CURRENT_SOURCE_DIR} tests)
  get_property(host_tests GLOBAL PROPERTY RM_HOST_TESTS)
  get_property(wine_tests GLOBAL PROPERTY RM_WINE_TESTS)
  set(script "# Generated: every test program of the cross build runs in the Wine fixture.\n")
  foreach(name IN LISTS tests)
    if(name IN_LIST host_tests OR name IN_LIST wine_tests)
      continue()
    endif()
    if(name IN_LIST last_dir_tests)
      message(WARNING "Test ${name} in ${last_dir} lacks the Wine fixture: add it with rm_add_wine_test()")
    endif()
    string(APPEND script "set_tests_properties([==[${name}]==] PROPERTIES FIXTURES_REQUIRED rm_wine SKIP_RETURN_CODE 77)\n")
  endforeach()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/wine_fixture_for_every_test.cmake)
  file(WRITE ${file} "${script}")
  set_property(DIRECTORY ${last_dir} APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

cmake_language(DEFER CALL _rm_wine_fixture_for_every_test)
