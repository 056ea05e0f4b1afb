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
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

set(allowed_app app program toolkit backend seam)
set(allowed_program program toolkit seam)
set(allowed_toolkit toolkit seam)
set(allowed_backend backend seam)
set(allowed_seam seam)

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/app/* ${SOURCE_DIR}/shell/* ${SOURCE_DIR}/picker/* ${SOURCE_DIR}/magnifier/*
  ${SOURCE_DIR}/help/* ${SOURCE_DIR}/resources/*)
set(crossings "")
foreach(source IN LISTS sources)
  if(NOT source MATCHES "\\.(h|cpp)$")
    continue()
  endif()
  layer_of(${source} from)
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" target "${line}")
    layer_of(${target} to)
    if(to STREQUAL "")
      continue()  # a header of the folder's own or a generated one
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
