# Programs in the PLC's own notation for tests and benchmarks: a full program
# image of mixed rungs.
add_library(qel_test_programs STATIC ${CMAKE_CURRENT_LIST_DIR}/Fullprogram.cpp)
target_include_directories(qel_test_programs PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qel_test_programs PUBLIC qel_core)
