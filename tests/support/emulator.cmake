# The PLC emulator: a Modbus ASCII slave on a pseudo-terminal for link tests,
# with a raw device port for the link and a relay between two pseudo-terminals.
add_library(qel_test_emulator STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Plcemulator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlcemulatorPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlcemulatorScan.cpp)
target_include_directories(qel_test_emulator PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qel_test_emulator PUBLIC qel_link qel_test_pty Qt6::Core util)
