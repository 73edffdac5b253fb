# Device monitor refresh rate over a paced line, against the wire limit.
qel_add_bench(NAME monitor_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MonitorBench.cpp
  LIBS qel_link_online qel_test_emulator)
