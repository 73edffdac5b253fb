# Printing: a full program's ladder into a PDF file.
if(QEL_WIDGETS)
  qel_add_bench(NAME print_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/PrintBench.cpp
    LIBS qel_print_pages qel_ladder_model qel_test_programs)
endif()
