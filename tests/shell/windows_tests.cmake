# Frame window and shell windows, on the offscreen platform.
qel_add_test(NAME shell_windows_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/TestMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameStartupTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameProjectTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameFileSetTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameRoutingTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShellPartsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameSimulateTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameLinkTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameLadderOpenTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameSfcTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameKeysLayoutTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameModelSettingTest.cpp
  LIBS qel_shell qel_test_support qel_test_pty qel_test_emulator Qt6::Test)
