# A hand-held programmer master on a pseudo-terminal, for the PC-as-slave link.
add_library(qel_test_hppmaster STATIC ${CMAKE_CURRENT_LIST_DIR}/Hppmaster.cpp)
target_include_directories(qel_test_hppmaster PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qel_test_hppmaster PUBLIC qel_test_emulator Qt6::Core util)
