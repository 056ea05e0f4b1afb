# What each layer's code is given to include: a folder per layer under the
# build tree that holds, at their usual paths, headers that forward to the
# headers of that layer and the layers below it, and nothing else. A library
# gets its layer's folder as its include directory instead of the tree's top,
# so the compiler itself refuses an include that reaches up a layer
# (cmake/check_layers.cmake also catches those written relative to a file).
# The composition (app/) and what puts the layers together (tests/, bench/)
# see the whole tree.
set(HUEVEX_LAYER_VIEWS ${CMAKE_BINARY_DIR}/layers)

set(_layer_globs_seam shell/numbers.h shell/platform/*.h)
set(_layer_globs_toolkit shell/forms/*.h)
set(_layer_globs_program picker/*.h magnifier/*.h help/*.h resources/*.h)
set(_layer_globs_backend shell/platform/*/*.h)
set(_layer_globs_tools tools/*.h)

set(_layer_view_toolkit seam toolkit)
set(_layer_view_program seam toolkit program)
set(_layer_view_backend seam backend)
set(_layer_view_tools seam toolkit program tools)

foreach(view IN ITEMS toolkit program backend tools)
  set(_headers "")
  foreach(layer IN LISTS _layer_view_${view})
    foreach(glob IN LISTS _layer_globs_${layer})
      file(GLOB_RECURSE _found RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS
           ${PROJECT_SOURCE_DIR}/${glob})
      list(APPEND _headers ${_found})
    endforeach()
  endforeach()
  foreach(header IN LISTS _headers)
    file(CONFIGURE OUTPUT ${HUEVEX_LAYER_VIEWS}/${view}/${header}
         CONTENT "#include \"${PROJECT_SOURCE_DIR}/${header}\"\n" @ONLY)
  endforeach()
endforeach()

# Gives a target its layer's view of the tree, and to whatever links it.
function(huevex_layer target view)
  target_include_directories(${target} PUBLIC ${HUEVEX_LAYER_VIEWS}/${view})
endfunction()
