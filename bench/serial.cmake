qel_add_bench(NAME serial_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SerialBench.cpp
  LIBS qel_serial qel_test_pty)
