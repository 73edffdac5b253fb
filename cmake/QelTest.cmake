# qel_add_test(NAME name [LOGIC] SOURCES ... LIBS ...)
#   LOGIC marks a test of code that is not a window: it carries the CTest label
#   "logic" and is also built when only the logic is (QEL_LOGIC_ONLY).
#   Other tests get the label "gui" and run on the offscreen Qt platform.
#   Under the sanitizers (QEL_SANITIZE) every test runs with AddressSanitizer,
#   its leak check and UBSan, and a finding of any ends the test with a
#   failure. What a system library keeps until the process ends is listed in
#   cmake/lsan-suppressions.txt.
function(qel_add_test)
  cmake_parse_arguments(T "LOGIC" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LOGIC AND NOT QEL_WIDGETS)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  add_dependencies(${T_NAME} qel_data)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/bin)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/tests/bin)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(QEL_SANITIZE)
    # A test runs several times slower under the sanitizers; its limit is a
    # wait for it to end, far above what it needs on a busy machine.
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 2")
  endif()
  if(T_LOGIC)
    set(label logic)
  else()
    set(label gui)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${label} TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QEL_HOME=${QEL_RUNTIME_DIR};QEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan-suppressions.txt;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

# qel_add_bench(NAME name SOURCES ... LIBS ...)
function(qel_add_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT QEL_BENCH)
    return()
  endif()
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  set_target_properties(${B_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench)
endfunction()
