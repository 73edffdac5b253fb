# Project state, files, settings and messages of the frame: no windows.
add_library(qel_shell_state STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Qelglobals.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Msgtable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Fileio.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Projectfiles.cpp)
target_include_directories(qel_shell_state PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(qel_shell_state PUBLIC qel_core qel_platform)
