# The frame window and the shell's small windows (Qt Widgets).
find_package(JPEG REQUIRED)
add_library(qel_shell STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Qelmain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Qelmain.h
  ${CMAKE_CURRENT_LIST_DIR}/Qelmenus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Qelproject.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Startup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Startupforms.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Splashfrm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Splashfrm.h
  ${CMAKE_CURRENT_LIST_DIR}/Jpegdecode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Progfrm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Progfrm.h
  ${CMAKE_CURRENT_LIST_DIR}/Machinesetfrm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Machinesetfrm.h
  ${CMAKE_CURRENT_LIST_DIR}/Titlepage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Titlepage.h
  ${CMAKE_CURRENT_LIST_DIR}/About.cpp
  ${CMAKE_CURRENT_LIST_DIR}/About.h
  ${CMAKE_CURRENT_LIST_DIR}/Celledit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Celledit.h
  ${CMAKE_CURRENT_LIST_DIR}/Dlgbuttons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Widgetmessages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Filedialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Printtarget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Printtarget.h
  ${CMAKE_CURRENT_LIST_DIR}/Qelsimulate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Qellink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Qellink.h
  ${CMAKE_CURRENT_LIST_DIR}/Qelconvert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Qelsfc.cpp)
target_include_directories(qel_shell PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qel_shell PUBLIC qel_project qel_platform qel_simulator qel_link qel_serial
  qel_ladder_model qel_sfc_model Qt6::Widgets Qt6::PrintSupport
  PRIVATE JPEG::JPEG)
