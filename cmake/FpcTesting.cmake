# Test executables: GoogleTest from the system on the host, from the Debian source tree for Windows.
if(NOT BUILD_TESTING)
  return()
endif()

if(FPC_WINDOWS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()

# Each test executable writes its results as XML into one folder; scripts/test.sh counts them.
set(FPC_TEST_RESULTS ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${FPC_TEST_RESULTS})

# fpc_add_gtest(<name> SOURCES ... LIBS ...): one test executable, registered with CTest
# wherever it can run (host, or Windows of either architecture under Wine).
function(fpc_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} fpc_platform GTest::gmock GTest::gtest_main)
  if(FPC_WINDOWS AND NOT FPC_RUN_WINDOWS_TESTS)
    return()
  endif()
  # Under Wine the root of the Linux file system is drive Z:.
  set(results ${FPC_TEST_RESULTS})
  if(FPC_WINDOWS)
    set(results Z:${FPC_TEST_RESULTS})
  endif()
  add_test(NAME ${name}
           COMMAND ${name} --gtest_output=xml:${results}/${name}.xml
           WORKING_DIRECTORY $<TARGET_FILE_DIR:${name}>)
  # scripts/test.sh counts a GoogleTest program that wrote no XML as failed, whatever its
  # exit code (a crash under Wine can end with 0).
  set_tests_properties(${name} PROPERTIES LABELS gtest)
endfunction()
