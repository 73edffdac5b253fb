qel_add_bench(NAME simulator_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SimulatorBench.cpp
  LIBS qel_simulator)
