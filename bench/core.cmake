qel_add_bench(NAME core_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/CoreBench.cpp LIBS qel_core)
