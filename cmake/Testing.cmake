# GoogleTest is built from the Debian package's sources with whatever toolchain
# this tree uses, so the same tests run natively and, cross-built, under Wine.
set(KORVALIND_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${KORVALIND_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${KORVALIND_GTEST_SOURCE_DIR} (apt-get install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${KORVALIND_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# GoogleTest's own sources are not held to this tree's warnings.
foreach(target gtest gtest_main gmock gmock_main)
  target_compile_options(${target} PRIVATE -w)
endforeach()

# Test programs that open sockets or resolve names run only inside the sandbox
# (tools/sandbox): their main refuses elsewhere (tests/support/test_main.cpp),
# and the guard test, which checks the namespace itself, comes before them.
set(KORVALIND_SANDBOX_SCRIPT ${PROJECT_SOURCE_DIR}/tools/sandbox)
add_test(NAME sandbox_guard COMMAND ${KORVALIND_SANDBOX_SCRIPT} --check)
set_tests_properties(sandbox_guard PROPERTIES FIXTURES_SETUP sandbox)

# A GoogleTest program passes only when it leaves a complete report: one that
# something else ended may exit 0 before its last case.
set(KORVALIND_GTEST_RUNNER ${PROJECT_SOURCE_DIR}/tools/run-gtest)

# korvalind_gtest_report(<name> <unix-path-var> <program-path-var>): where the
# program <name> writes its report, as CTest names it and as the program does
# (under Wine the Unix root is drive Z:).
function(korvalind_gtest_report name unixVar programVar)
  set(report ${PROJECT_BINARY_DIR}/test-results/${name}.xml)
  set(${unixVar} ${report} PARENT_SCOPE)
  if(WIN32)
    string(REPLACE "/" "\\" report "Z:${report}")
  endif()
  set(${programVar} ${report} PARENT_SCOPE)
endfunction()

# korvalind_add_gtest(<name> [OFFLINE] SOURCES <files...> LIBS <libraries...>
#                     [TIMEOUT <s>] [WRAPPER <command...>])
# One CTest test per program: a Wine start is expensive, so GoogleTest runs all
# cases of a program in one process and writes its counts for the summary line.
# OFFLINE: the program opens no socket and resolves no name, so it runs
# anywhere without the sandbox (ctest -L offline runs these alone).
# WRAPPER runs the program through a command (one that starts its peers, say).
function(korvalind_add_gtest name)
  cmake_parse_arguments(ARG "OFFLINE" "TIMEOUT" "SOURCES;LIBS;WRAPPER" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_OFFLINE)
    set(main GTest::gmock_main)
  else()
    set(main korvalind_sandboxed_main)
  endif()
  target_link_libraries(${name} PRIVATE korvalind_test_support ${ARG_LIBS} ${main})
  korvalind_gtest_report(${name} report programReport)
  add_test(NAME ${name}
           COMMAND ${KORVALIND_GTEST_RUNNER} ${report} -- ${ARG_WRAPPER} ${CMAKE_CROSSCOMPILING_EMULATOR}
                   $<TARGET_FILE:${name}> --gtest_output=xml:${programReport})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS gtest
                       ENVIRONMENT "KORVALIND_SOURCE_DIR=${PROJECT_SOURCE_DIR};KORVALIND_BINARY_DIR=${PROJECT_BINARY_DIR}")
  if(ARG_OFFLINE)
    set_property(TEST ${name} APPEND PROPERTY LABELS offline)
  else()
    set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED sandbox)
  endif()
endfunction()

# korvalind_use_reference_service(<test>): the test talks to the reference
# service, which a fixture starts once in the sandbox. It holds fixed ports,
# so the tests that use it run one at a time.
set(KORVALIND_REFSERVICE_DIR ${PROJECT_BINARY_DIR}/reference-service)
function(korvalind_use_reference_service test)
  if(NOT TEST reference_service_start)
    add_test(NAME reference_service_start
             COMMAND ${PROJECT_SOURCE_DIR}/tools/reference-service-fixture start ${KORVALIND_REFSERVICE_DIR})
    set_tests_properties(reference_service_start PROPERTIES FIXTURES_SETUP refservice FIXTURES_REQUIRED sandbox)
    add_test(NAME reference_service_stop
             COMMAND ${PROJECT_SOURCE_DIR}/tools/reference-service-fixture stop ${KORVALIND_REFSERVICE_DIR})
    set_tests_properties(reference_service_stop PROPERTIES FIXTURES_CLEANUP refservice)
  endif()
  set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED refservice)
  set_property(TEST ${test} APPEND PROPERTY RESOURCE_LOCK refservice)
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "KORVALIND_REFSERVICE_DIR=${KORVALIND_REFSERVICE_DIR}")
endfunction()
