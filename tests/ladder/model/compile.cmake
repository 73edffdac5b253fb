# Syntax checker, network conversion and ladder compile.
qel_add_test(NAME ladder_syntax_check_test LOGIC
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SyntaxCheckTest.cpp ${CMAKE_CURRENT_LIST_DIR}/IlProgram.cpp
  LIBS qel_ladder_model qel_core)
qel_add_test(NAME ladder_network_test LOGIC
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/NetworkTest.cpp
  LIBS qel_ladder_model qel_core)
qel_add_test(NAME ladder_compile_test LOGIC
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CompileTest.cpp ${CMAKE_CURRENT_LIST_DIR}/IlProgram.cpp
  LIBS qel_ladder_model qel_core qel_project qel_platform qel_test_support)
# Thousands of seeded programs: minutes under the sanitizers on a small machine.
qel_add_test(NAME ladder_roundtrip_test LOGIC TIMEOUT 1200
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RoundTripTest.cpp ${CMAKE_CURRENT_LIST_DIR}/IlProgram.cpp
  LIBS qel_ladder_model qel_simulator qel_core qel_project qel_platform)
