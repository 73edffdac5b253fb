# Start-up of the frame window up to its first paint.
if(QEL_WIDGETS)
  qel_add_bench(NAME frame_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/FrameBench.cpp
    LIBS qel_shell qel_test_support)
  target_compile_definitions(frame_bench PRIVATE QEL_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
endif()
