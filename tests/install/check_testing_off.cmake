# Configures the source tree with BUILD_TESTING=OFF and checks that no test suite and no benchmark is
# among the targets, while the libraries are.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -DBUILD_TESTING=OFF
                        -DCMAKE_BUILD_TYPE=Release
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring with BUILD_TESTING=OFF failed:\n${out}\n${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} --target help
                RESULT_VARIABLE rc OUTPUT_VARIABLE targets)
if(NOT rc EQUAL 0 OR NOT targets MATCHES "qxregres600r")
  message(FATAL_ERROR "the libraries are missing from the targets:\n${targets}")
endif()
if(targets MATCHES "qx_[a-z_]+_tests" OR targets MATCHES "qx_[a-z_]+_bench")
  message(FATAL_ERROR "BUILD_TESTING=OFF still configures tests or benchmarks:\n${targets}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
