# Small helpers shared by the subsystem CMake files.

# Every component library also compiles this empty unit, so a component
# without sources yet still forms a valid target.
file(WRITE ${CMAKE_BINARY_DIR}/marovia_empty.cpp "// intentionally empty\n")

# marovia_component(<name> <source dir> <include dir> [LINK deps...])
# A static, position-independent component library from every .cpp below
# <source dir>. Tests link components directly; the deliverable shared
# libraries take them whole (see marovia_shared_from).
function(marovia_component name srcdir incdir)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${srcdir}/*.cpp)
  add_library(${name} STATIC ${srcs} ${CMAKE_BINARY_DIR}/marovia_empty.cpp)
  target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${incdir}>)
  if(ARG_LINK)
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
  endif()
endfunction()

# marovia_shared_from(<name> COMPONENTS c... [LINK deps...]): a deliverable
# shared library holding the whole of each component, with the components'
# public include directories as its own.
function(marovia_shared_from name)
  cmake_parse_arguments(ARG "" "" "COMPONENTS;LINK" ${ARGN})
  add_library(${name} SHARED ${CMAKE_BINARY_DIR}/marovia_empty.cpp)
  foreach(c ${ARG_COMPONENTS})
    target_link_libraries(${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${c}>")
    get_target_property(inc ${c} INTERFACE_INCLUDE_DIRECTORIES)
    foreach(d ${inc})
      target_include_directories(${name} PUBLIC ${d})
    endforeach()
  endforeach()
  target_include_directories(${name} PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(ARG_LINK)
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
  endif()
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
  add_library(marovia::${name} ALIAS ${name})
endfunction()

# marovia_add_test(<name> SOURCES ... LINK ...): one GoogleTest executable,
# registered with CTest test by test.
function(marovia_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    MAROVIA_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "MAROVIA_TEST_DATA_DIR=${PROJECT_SOURCE_DIR}/tests/data")
endfunction()
