qel_add_bench(NAME link_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LinkBench.cpp
  LIBS qel_link qel_test_emulator)
