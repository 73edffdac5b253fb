qel_add_test(NAME shell_state_tests LOGIC
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ShellTestSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StateSettingsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProjectFilesTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProjectFilesRobustTest.cpp
  LIBS qel_shell_state qel_test_support)
