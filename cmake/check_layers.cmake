# Checks the includes between the layers of the source tree:
#
#   app/            the composition: may include anything
#   picker/ magnifier/ help/ resources/
#                   the program: the toolkit and the seams, never a backend
#   shell/forms/    the toolkit: the seams only
#   shell/platform/<backend>/
#                   the backends: the seams and each other, never the toolkit
#                   or the program
#   shell/platform/*.h, shell/numbers.h
#                   the seams and the number rules: nothing above them
#   tests/ bench/   put the layers together as app/ does: may include anything
#   tools/          build-time generators: the pictures and the seams
#
# Nothing of the program or its backends includes from tests/, bench/ or tools/.
#
# Both "quoted" and <angled> includes are read, and each is resolved the way
# the compiler does: a quoted one against the including file's folder first,
# then both against the include roots (the tree's top and tests/). An include
# that resolves to no file of the tree (a system or a generated header) is
# not the layers' business.
#
#   cmake -DSOURCE_DIR=<tree> [-DSTAMP=<file>] -P check_layers.cmake
# Fails, naming each offending include, when one crosses the layers.
cmake_minimum_required(VERSION 3.20)

function(layer_of path out)
  if(path MATCHES "^app/")
    set(${out} app PARENT_SCOPE)
  elseif(path MATCHES "^(picker|magnifier|help|resources)/")
    set(${out} program PARENT_SCOPE)
  elseif(path MATCHES "^shell/forms/")
    set(${out} toolkit PARENT_SCOPE)
  elseif(path MATCHES "^shell/platform/[^/]+/")
    set(${out} backend PARENT_SCOPE)
  elseif(path MATCHES "^shell/(numbers\\.h|platform/[^/]+\\.h)$")
    set(${out} seam PARENT_SCOPE)
  elseif(path MATCHES "^(tests|bench)/")
    set(${out} harness PARENT_SCOPE)
  elseif(path MATCHES "^tools/")
    set(${out} tools PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

set(allowed_harness harness app program toolkit backend seam tools)
set(allowed_app app program toolkit backend seam)
set(allowed_program program toolkit seam)
set(allowed_toolkit toolkit seam)
set(allowed_backend backend seam)
set(allowed_seam seam)
set(allowed_tools tools program seam)

# The file an include names, relative to the tree, or "" when it is none of the tree's.
function(resolve_include source kind name out)
  set(${out} "" PARENT_SCOPE)
  get_filename_component(folder ${SOURCE_DIR}/${source} DIRECTORY)
  set(candidates "")
  if(kind STREQUAL "\"")
    list(APPEND candidates ${folder})
  endif()
  list(APPEND candidates ${SOURCE_DIR} ${SOURCE_DIR}/tests)
  foreach(root IN LISTS candidates)
    cmake_path(APPEND root ${name} OUTPUT_VARIABLE file)
    cmake_path(NORMAL_PATH file)
    if(EXISTS ${file} AND NOT IS_DIRECTORY ${file})
      cmake_path(RELATIVE_PATH file BASE_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE relative)
      if(NOT relative MATCHES "^\\.\\./")
        set(${out} ${relative} PARENT_SCOPE)
      endif()
      return()
    endif()
  endforeach()
endfunction()

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/app/* ${SOURCE_DIR}/shell/* ${SOURCE_DIR}/picker/* ${SOURCE_DIR}/magnifier/*
  ${SOURCE_DIR}/help/* ${SOURCE_DIR}/resources/* ${SOURCE_DIR}/tools/* ${SOURCE_DIR}/bench/*
  ${SOURCE_DIR}/tests/*)
set(crossings "")
set(include_line "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]+)[\">]")
foreach(source IN LISTS sources)
  if(NOT source MATCHES "\\.(h|hpp|c|cc|cpp|inc)$")
    continue()
  endif()
  layer_of(${source} from)
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "${include_line}")
  foreach(line IN LISTS includes)
    string(REGEX MATCH "${include_line}" _ "${line}")
    resolve_include(${source} "${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}" target)
    if(target STREQUAL "")
      continue()
    endif()
    layer_of(${target} to)
    if(to STREQUAL "" OR from STREQUAL "")
      continue()
    endif()
    if(NOT to IN_LIST allowed_${from})
      string(APPEND crossings "\n  ${source} (${from}) includes ${target} (${to})")
    endif()
  endforeach()
endforeach()

if(crossings)
  message(FATAL_ERROR "Includes that cross the layers:${crossings}")
endif()
if(STAMP)
  file(WRITE ${STAMP} "")
endif()
