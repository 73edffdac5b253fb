# Pseudo-terminal helpers (openpty pairs, bounded event pumping, leak counts)
# for the serial component and the PLC link tests.
add_library(qel_test_pty STATIC ${CMAKE_CURRENT_LIST_DIR}/Pty.cpp)
target_include_directories(qel_test_pty PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qel_test_pty PUBLIC Qt6::Core util Threads::Threads)
