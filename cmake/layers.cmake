# The layering, checked on every build: an include that reaches up or across
# the layers fails the build (cmake/check_layers.cmake says which).
file(GLOB_RECURSE _layered_sources CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/app/*.h ${PROJECT_SOURCE_DIR}/app/*.cpp
  ${PROJECT_SOURCE_DIR}/shell/*.h ${PROJECT_SOURCE_DIR}/shell/*.cpp
  ${PROJECT_SOURCE_DIR}/picker/*.h ${PROJECT_SOURCE_DIR}/picker/*.cpp
  ${PROJECT_SOURCE_DIR}/magnifier/*.h ${PROJECT_SOURCE_DIR}/magnifier/*.cpp
  ${PROJECT_SOURCE_DIR}/help/*.h ${PROJECT_SOURCE_DIR}/help/*.cpp
  ${PROJECT_SOURCE_DIR}/resources/*.h ${PROJECT_SOURCE_DIR}/resources/*.cpp
  ${PROJECT_SOURCE_DIR}/tools/*.h ${PROJECT_SOURCE_DIR}/tools/*.cpp
  ${PROJECT_SOURCE_DIR}/bench/*.h ${PROJECT_SOURCE_DIR}/bench/*.cpp
  ${PROJECT_SOURCE_DIR}/tests/*.h ${PROJECT_SOURCE_DIR}/tests/*.cpp)
set(_layers_stamp ${CMAKE_BINARY_DIR}/layers.checked)
add_custom_command(
  OUTPUT ${_layers_stamp}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DSTAMP=${_layers_stamp}
          -P ${PROJECT_SOURCE_DIR}/cmake/check_layers.cmake
  DEPENDS ${_layered_sources} ${PROJECT_SOURCE_DIR}/cmake/check_layers.cmake
  COMMENT "Checking that every include stays within its layer")
add_custom_target(huevex_layers ALL DEPENDS ${_layers_stamp})
add_dependencies(huevex_toolkit huevex_layers)
