# GoogleTest: Debian's library natively; for Windows compiled from the sources
# that Debian's googletest package installs.
if(WIN32)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # googletest's own build defines the GTest:: aliases.
else()
  find_package(GTest REQUIRED)
endif()

# Tests run this many times slower under valgrind.
set(QX_TEST_TIMEOUT_FACTOR 1 CACHE STRING "Factor on every test's time limit")

# qx_test(NAME SOURCES... LIBS...): a GoogleTest program run by ctest; under
# Wine for the Windows build.
function(qx_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  math(EXPR T_TIMEOUT "${T_TIMEOUT} * ${QX_TEST_TIMEOUT_FACTOR}")
  set(labels ${QX_PLATFORM} ${T_LABELS})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${labels}"
    ENVIRONMENT "QX_SOURCE_DIR=${CMAKE_SOURCE_DIR};QX_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()
