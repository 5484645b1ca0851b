# Script mode: configure and build the header check project against the
# installed package in PREFIX only.
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()

cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_LOGICAL_CORES)
run(${CMAKE_COMMAND} -S ${PROJECT_DIR} -B ${WORK_DIR}
  -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER} "-DCMAKE_CXX_COMPILER_LAUNCHER=${CXX_LAUNCHER}"
  -DWERROR=${WERROR})
run(${CMAKE_COMMAND} --build ${WORK_DIR} --parallel ${jobs})
