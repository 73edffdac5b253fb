# The checking tools over full programs.
if(QEL_WIDGETS)
  qel_add_bench(NAME tools_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolsBench.cpp
    LIBS qel_tools qel_test_support)
  target_compile_definitions(tools_bench PRIVATE QEL_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
endif()
