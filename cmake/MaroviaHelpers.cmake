# Small helpers shared by the subsystem CMake files.
#
# Each component (a folder of sources) is compiled once, as an object library
# <name>_obj. Its objects go two ways:
#   - a static library <name>, linked by the unit tests together with the
#     static libraries of the components it needs;
#   - whole into one of the deliverable shared libraries (marovia_shared_from).

# Every component also compiles this empty unit, so a component without
# sources yet still forms a valid target.
file(WRITE ${CMAKE_BINARY_DIR}/marovia_empty.cpp "// intentionally empty\n")

# marovia_component(<name> <source dir> <include dir>
#                   [DEPS components...] [LINK external targets...])
function(marovia_component name srcdir incdir)
  cmake_parse_arguments(ARG "" "" "DEPS;LINK" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${srcdir}/*.cpp)
  add_library(${name}_obj OBJECT ${srcs} ${CMAKE_BINARY_DIR}/marovia_empty.cpp)
  target_include_directories(${name}_obj PUBLIC $<BUILD_INTERFACE:${incdir}>)
  add_library(${name} STATIC)
  target_link_libraries(${name} PUBLIC ${name}_obj)
  foreach(dep ${ARG_DEPS})
    target_link_libraries(${name}_obj PUBLIC ${dep}_obj)
    target_link_libraries(${name} PUBLIC ${dep})
  endforeach()
  if(ARG_LINK)
    target_link_libraries(${name}_obj PUBLIC ${ARG_LINK})
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
  endif()
endfunction()

# marovia_shared_from(<name> COMPONENTS c... [LINK shared libraries...]
#                     [PRIVATE_LINK external targets...]): a deliverable
# shared library holding the objects of each component, publishing the
# components' include directories.
function(marovia_shared_from name)
  cmake_parse_arguments(ARG "" "" "COMPONENTS;LINK;PRIVATE_LINK" ${ARGN})
  add_library(${name} SHARED ${CMAKE_BINARY_DIR}/marovia_empty.cpp)
  foreach(c ${ARG_COMPONENTS})
    target_sources(${name} PRIVATE $<TARGET_OBJECTS:${c}_obj>)
    get_target_property(inc ${c}_obj INTERFACE_INCLUDE_DIRECTORIES)
    target_include_directories(${name} PUBLIC ${inc})
  endforeach()
  target_include_directories(${name} PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(ARG_LINK)
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
  endif()
  if(ARG_PRIVATE_LINK)
    target_link_libraries(${name} PRIVATE ${ARG_PRIVATE_LINK})
  endif()
  # Installed libraries find each other beside themselves, wherever the
  # prefix is.
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}
    INSTALL_RPATH "$ORIGIN")
  add_library(marovia::${name} ALIAS ${name})
endfunction()

# The options every test source is compiled with beyond the build's: the
# test optimisation, and for GCC before 13 the silencing of two false
# warnings that it reports through the precompiled header as if they were
# the test's.
function(marovia_test_options name)
  if(MAROVIA_TEST_OPTIMIZATION)
    target_compile_options(${name} PRIVATE ${MAROVIA_TEST_OPTIMIZATION})
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13
     AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    target_compile_options(${name} PRIVATE -Wno-array-bounds -Wno-stringop-overflow)
  endif()
endfunction()

# The precompiled test framework that every test program reuses: built once,
# with the same options as the tests' sources (an executable of its own, so
# that its code model is the test programs').
function(marovia_test_pch_target)
  if(TARGET marovia_test_pch)
    return()
  endif()
  set(source ${PROJECT_BINARY_DIR}/marovia_test_pch.cpp)
  file(WRITE ${source} "int main() { return 0; }\n")
  add_executable(marovia_test_pch ${source})
  target_link_libraries(marovia_test_pch PRIVATE GTest::gtest)
  marovia_test_options(marovia_test_pch)
  target_precompile_headers(marovia_test_pch PRIVATE <gtest/gtest.h> <string> <vector>)
endfunction()

# marovia_add_test(<name> SOURCES ... LINK ...): one GoogleTest executable,
# registered with CTest test by test. MAROVIA_TEST_DATA_DIR names tests/data.
# Every test program carries the leak checker's suppressions for system
# libraries.
function(marovia_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} marovia_lsan_suppressions GTest::gtest
                                        GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # Test sources may be compiled with less optimisation than the library
  # they test (MAROVIA_TEST_OPTIMIZATION, say -O1): most of an optimised
  # build's time goes into the test framework's templates, while what the
  # tests measure is the library's code, which keeps the build's flags.
  # The test framework's headers cost two seconds in every test source; a
  # build whose tests are not deeply optimised parses them once for all test
  # programs (marovia_test_pch). Not at -O2 and above, where GCC 12's false
  # string bounds warnings inside the standard library are too many to name.
  if(CMAKE_BUILD_TYPE STREQUAL "Debug" OR MAROVIA_TEST_OPTIMIZATION MATCHES "^-O[01g]$")
    marovia_test_pch_target()
    target_precompile_headers(${name} REUSE_FROM marovia_test_pch)
  endif()
  marovia_test_options(${name})
  target_compile_definitions(${name} PRIVATE
    MAROVIA_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# marovia_test_optimized_sources(<source>...): test sources whose own code
# does a test's heavy work (std::regex over whole files, say) keep -O1 when
# the test programs are built at -O0; they cannot share the -O0 precompiled
# header then.
function(marovia_test_optimized_sources)
  if(MAROVIA_TEST_OPTIMIZATION STREQUAL "-O0")
    set_source_files_properties(${ARGN} PROPERTIES SKIP_PRECOMPILE_HEADERS ON COMPILE_OPTIONS -O1)
  endif()
endfunction()

# A fuzz target's entry point and the sources it needs, compiled once for
# both programs that run it: the libFuzzer executable (fuzz/) and the replay
# of its seeds and past findings among the tests (tests/fuzz_inputs/).
# marovia_fuzz_body(<name> [SOURCES ...] [LINK ...] [INCLUDE ...]) makes
# fuzz_body_<name> from fuzz/<name>.cpp.
function(marovia_fuzz_body name)
  if(TARGET fuzz_body_${name})
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK;INCLUDE" ${ARGN})
  add_library(fuzz_body_${name} OBJECT ${PROJECT_SOURCE_DIR}/fuzz/${name}.cpp ${ARG_SOURCES})
  target_include_directories(fuzz_body_${name} PUBLIC ${PROJECT_SOURCE_DIR}/fuzz ${ARG_INCLUDE})
  target_link_libraries(fuzz_body_${name} PUBLIC ${ARG_LINK})
endfunction()
