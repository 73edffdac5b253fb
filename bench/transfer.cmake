# A full program write over a paced line, against its wire time.
qel_add_bench(NAME transfer_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TransferBench.cpp
  LIBS qel_link_program qel_test_emulator)
