# The package as Python users install it, run by CTest (cmake -P):
#   1. a fresh virtual environment that sees the system's site packages
#      (numpy, pytest, pyproj and pip itself come from Debian);
#   2. pip install --no-build-isolation --no-index of the checkout, offline,
#      setuptools driving CMake in this build folder (MAROVIA_CMAKE_BUILD_DIR,
#      so nothing is compiled a second time) with its own files in WORK;
#   3. the package's tests, run from WORK against the installed copy.
# Variables: PYTHON (the interpreter the package is built for), SOURCE,
# BUILD, WORK; PRELOAD (optional) is loaded first into the interpreter that
# imports the package (an instrumented build's sanitizer runtime).
foreach(var PYTHON SOURCE BUILD WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "pip_install.cmake needs -D${var}=...")
  endif()
endforeach()

function(run what)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc
    OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  message(STATUS "${what}: done")
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(venv ${WORK}/venv)
run("virtual environment" ${PYTHON} -m venv --system-site-packages --without-pip ${venv})

set(ENV{MAROVIA_CMAKE_BUILD_DIR} ${BUILD})
set(ENV{MAROVIA_PYTHON_BUILD_BASE} ${WORK}/setuptools)
set(ENV{PIP_DISABLE_PIP_VERSION_CHECK} 1)
set(ENV{PYTHONDONTWRITEBYTECODE} 1)
unset(ENV{PYTHONPATH})
run("pip install" ${venv}/bin/python -m pip install --no-build-isolation --no-index ${SOURCE})

if(PRELOAD)
  set(ENV{LD_PRELOAD} ${PRELOAD})
endif()
run("import from the environment" ${venv}/bin/python -c
  "import sys, marovia; assert marovia.__file__.startswith(sys.prefix), marovia.__file__; print(marovia.utm_forward(50, 10).zone)")
run("package tests" ${venv}/bin/python -m pytest -q -p no:cacheprovider ${SOURCE}/tests/python)
