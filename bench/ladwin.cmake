# The ladder window: one screen painted at the smallest and the largest zoom,
# and a full program opened until its ladder is painted.
if(QEL_WIDGETS)
  qel_add_bench(NAME ladwin_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/LadwinBench.cpp
    LIBS qel_ladder_editor qel_test_programs)
endif()
# Marking, copying and pasting a full program's ladder as a block.
qel_add_bench(NAME ladedit_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/LadeditBench.cpp
  LIBS qel_ladder_edit qel_ladder_model qel_project qel_test_programs)
