# Paint, scroll, selection and editing of the instruction-list window over a
# full 16000-step program.
if(QEL_WIDGETS)
  qel_add_bench(NAME instlist_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstlistBench.cpp
    LIBS qel_instlist)
endif()
