qel_add_bench(NAME ladconv_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LadconvBench.cpp
  LIBS qel_ladder_model qel_test_programs)
