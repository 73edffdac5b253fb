qel_add_bench(NAME sfc_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SfcBench.cpp
  LIBS qel_sfc_model)
