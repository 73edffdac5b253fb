# Configures tests/layout/outer over this checkout in a fresh folder, builds only
# the probe (and so only the core and ladder-model libraries it links, with the
# data copy) and runs it. Run with:
#   cmake -DCHECKOUT=<src> -DWORK=<folder> [-DGENERATOR=..] [-DBUILD_TYPE=..] -P outer_build.cmake
file(REMOVE_RECURSE ${WORK})
set(gen)
if(GENERATOR)
  set(gen -G ${GENERATOR})
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${CHECKOUT}/tests/layout/outer -B ${WORK} ${gen}
          -DQEL_CHECKOUT=${CHECKOUT} -DQEL_LOGIC_ONLY=ON
          -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DCMAKE_CXX_FLAGS_RELEASE=-O2
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the outer project does not configure with the checkout as a subdirectory")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK} --target outer_probe -j 2 RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the outer project does not build the core and ladder model")
endif()
if(EXISTS ${WORK}/qel/tests)
  message(FATAL_ERROR "the checkout's tests were configured for an outer project")
endif()
execute_process(COMMAND ${WORK}/outer_probe RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the probe failed")
endif()
