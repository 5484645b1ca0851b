# Embedding of resource files (cursors, bitmaps, other data) into a target.
#
#   marovia_embed_resources(<target> FUNCTION <name> [NAMESPACE <ns>]
#                           [MODULE <module name>] FILES <file>...)
#
# At build time the files are turned into a generated C++ source, added to
# <target>, that holds each file's bytes and a table of TResourceEntry
# (marovia/platform/resources.h). The resource name is the file name without
# its extension; the type follows the extension (.cur cursor, .bmp bitmap,
# anything else raw data). The source defines
#
#   marovia::HINSTANCE <ns>::<name>();
#
# which registers the table on its first call and answers the module handle.
# A function rather than a static registrar: an object file in a static
# library is linked only when something refers to it, and the call is that
# reference.
#
# The same file run as a script (cmake -P) does the generation.

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED MAROVIA_RES_OUTPUT)
  string(REPLACE "|" ";" files "${MAROVIA_RES_FILES}")
  set(arrays "")
  set(entries "")
  set(i 0)
  foreach(f ${files})
    get_filename_component(name "${f}" NAME_WE)
    get_filename_component(ext "${f}" LAST_EXT)
    string(TOUPPER "${name}" name)
    string(TOLOWER "${ext}" ext)
    if(ext STREQUAL ".cur")
      set(type rtCursor)
    elseif(ext STREQUAL ".bmp")
      set(type rtBitmap)
    else()
      set(type rtData)
    endif()
    file(READ "${f}" hex HEX)
    string(LENGTH "${hex}" hexlen)
    if(hexlen EQUAL 0)
      set(bytes "0")
      set(size 0)
    else()
      string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
      string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
      math(EXPR size "${hexlen} / 2")
    endif()
    string(APPEND arrays "// ${name}${ext}\nconst uint8_t kData${i}[] = {\n    ${bytes}};\n\n")
    string(APPEND entries "    {\"${name}\", marovia::${type}, kData${i}, ${size}},\n")
    math(EXPR i "${i} + 1")
  endforeach()
  if(i EQUAL 0)
    message(FATAL_ERROR "marovia_embed_resources: no files")
  endif()
  set(code "// Generated from the resource files at build time; do not edit.\n")
  string(APPEND code "#include <cstdint>\n\n#include \"marovia/platform/resources.h\"\n\n")
  string(APPEND code "namespace {\n\n${arrays}")
  string(APPEND code "const marovia::TResourceEntry kEntries[] = {\n${entries}};\n\n}  // namespace\n\n")
  string(APPEND code "namespace ${MAROVIA_RES_NAMESPACE} {\n\n")
  string(APPEND code "marovia::HINSTANCE ${MAROVIA_RES_FUNCTION}() {\n")
  string(APPEND code "  static const marovia::HINSTANCE instance = marovia::RegisterResourceModule(\n")
  string(APPEND code "      \"${MAROVIA_RES_MODULE}\", kEntries, sizeof(kEntries) / sizeof(kEntries[0]));\n")
  string(APPEND code "  return instance;\n}\n\n}  // namespace ${MAROVIA_RES_NAMESPACE}\n")
  file(WRITE "${MAROVIA_RES_OUTPUT}.tmp" "${code}")
  file(COPY_FILE "${MAROVIA_RES_OUTPUT}.tmp" "${MAROVIA_RES_OUTPUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${MAROVIA_RES_OUTPUT}.tmp")
  return()
endif()

function(marovia_embed_resources target)
  cmake_parse_arguments(ARG "" "FUNCTION;NAMESPACE;MODULE" "FILES" ${ARGN})
  if(NOT ARG_FUNCTION OR NOT ARG_FILES)
    message(FATAL_ERROR "marovia_embed_resources(${target}): FUNCTION and FILES are required")
  endif()
  if(NOT ARG_NAMESPACE)
    set(ARG_NAMESPACE marovia)
  endif()
  if(NOT ARG_MODULE)
    set(ARG_MODULE ${target})
  endif()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_FILE})
  string(REPLACE ";" "|" joined "${ARG_FILES}")
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND}
      -DMAROVIA_RES_OUTPUT=${out}
      -DMAROVIA_RES_FUNCTION=${ARG_FUNCTION}
      -DMAROVIA_RES_NAMESPACE=${ARG_NAMESPACE}
      -DMAROVIA_RES_MODULE=${ARG_MODULE}
      -DMAROVIA_RES_FILES=${joined}
      -P ${script}
    DEPENDS ${ARG_FILES} ${script}
    COMMENT "Embedding resources into ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
