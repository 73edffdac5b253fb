# Ladder grid model, cell device text and code-to-ladder conversion.
qel_add_test(NAME LadderConversionTest LOGIC
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/LadderModelTestMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LadderTestSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LadderGridTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LadtranslateTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LadderConvertTest.cpp
  LIBS qel_ladder_model qel_test_support)
