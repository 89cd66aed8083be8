# Installs the built tree into a scratch prefix, then builds and runs a consumer against it twice:
# once through find_package and once through pkg-config.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "command failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

# Builds `source` with the flags pkg-config gives for `module` from the prefix, into `output`.
function(build_with_pkg_config module source output)
  find_program(PKG_CONFIG pkg-config REQUIRED)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig
                          ${PKG_CONFIG} --cflags --libs ${module}
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know ${module}")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(c++ -std=c++20 ${source} ${flags} -o ${output})
endfunction()

run(${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${prefix})

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/consumer -B ${WORK_DIR}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
# No LD_LIBRARY_PATH: the consumer's run path names the library, whose own names qxcommon600r.
run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${WORK_DIR}/cmake-build/consumer)

# Loaded by its path alone, the library finds its companion through its $ORIGIN run path.
run(c++ ${SOURCE_DIR}/tests/install/load_library.cpp -ldl -o ${WORK_DIR}/load-library)
run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${WORK_DIR}/load-library
    ${prefix}/${LIBDIR}/libqxregres600r.so)

# The front end's example builds and runs against the prefix alone, through the exported front end.
if(EXISTS ${prefix}/${LIBDIR}/libqxfrontend600r.a)
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/front_end_consumer -B ${WORK_DIR}/front-end-build
      -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release -DEXAMPLE=${SOURCE_DIR}/examples/front_end.cpp)
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/front-end-build)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${WORK_DIR}/front-end-build/front_end
                  RESULT_VARIABLE rc OUTPUT_VARIABLE report ERROR_VARIABLE err)
  # PlantGrowth's groups, as the example's report names them.
  if(NOT rc EQUAL 0 OR NOT report MATCHES "group=trt1")
    message(FATAL_ERROR "the installed front end's example failed (${rc}):\n${report}\n${err}")
  endif()
  # The same example through pkg-config, which names the shared libraries the front end needs.
  build_with_pkg_config(qxfrontend600r ${SOURCE_DIR}/examples/front_end.cpp ${WORK_DIR}/pc-front-end)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/${LIBDIR} ${WORK_DIR}/pc-front-end
                  RESULT_VARIABLE rc OUTPUT_VARIABLE report ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT report MATCHES "group=trt1")
    message(FATAL_ERROR "the front end's example built through pkg-config failed (${rc}):\n${report}\n${err}")
  endif()
endif()

# The installed tool runs from the prefix alone.
if(EXISTS ${prefix}/bin/qxfit)
  run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${prefix}/bin/qxfit --version)
endif()

build_with_pkg_config(qxregres600r ${SOURCE_DIR}/tests/install/consumer/consumer.cpp ${WORK_DIR}/pc-consumer)
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/${LIBDIR} ${WORK_DIR}/pc-consumer)

# The installed Python package imports from the prefix alone.
if(EXISTS ${prefix}/lib/python3/dist-packages/qxregres600r/__init__.py)
  run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH PYTHONPATH=${prefix}/lib/python3/dist-packages
      /usr/bin/python3 -c "import qxregres600r")
endif()
