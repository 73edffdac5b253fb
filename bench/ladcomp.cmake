qel_add_bench(NAME ladcomp_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LadcompBench.cpp
  LIBS qel_ladder_model qel_core qel_project qel_platform qel_test_programs)
