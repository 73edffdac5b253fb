# The chart conversions on a full program and, with windows, one screen painted.
if(QEL_WIDGETS)
  qel_add_bench(NAME sfc_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/SfcBench.cpp LIBS qel_sfc_paint)
  if(TARGET sfc_bench)
    target_compile_definitions(sfc_bench PRIVATE QEL_SFC_PAINT_BENCH=1)
  endif()
else()
  qel_add_bench(NAME sfc_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/SfcBench.cpp LIBS qel_sfc_model)
endif()
