# Script mode: install BUILD_DIR into a fresh PREFIX, for the tests that use
# the package the way a host project does.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "installing ${BUILD_DIR} into ${PREFIX} failed (${rc})")
endif()
