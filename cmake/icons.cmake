# The application icon's files, made at build time from the pixel maps in
# resources/pictures.cpp (no binary is kept in the tree). A cross build makes
# the generator with the build machine's own compiler.
set(HUEVEX_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(HUEVEX_ICON_FILES
  ${HUEVEX_ICON_DIR}/icon_30001.bin ${HUEVEX_ICON_DIR}/icon_30002.bin
  ${HUEVEX_ICON_DIR}/icon_30003.bin ${HUEVEX_ICON_DIR}/icon_group.bin
  ${HUEVEX_ICON_DIR}/huevex.ico ${HUEVEX_ICON_DIR}/huevex-16.png ${HUEVEX_ICON_DIR}/huevex-32.png)
set(_icon_sources
  ${PROJECT_SOURCE_DIR}/tools/make_icons.cpp ${PROJECT_SOURCE_DIR}/tools/icon_file.cpp
  ${PROJECT_SOURCE_DIR}/resources/pictures.cpp)

if(CMAKE_CROSSCOMPILING)
  find_program(HUEVEX_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
  set(_generator ${HUEVEX_ICON_DIR}/make_icons_host)
  add_custom_command(
    OUTPUT ${HUEVEX_ICON_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${HUEVEX_ICON_DIR}
    COMMAND ${HUEVEX_HOST_CXX} -std=c++20 -O1 -I${PROJECT_SOURCE_DIR} ${_icon_sources}
            -o ${_generator}
    COMMAND ${_generator} ${HUEVEX_ICON_DIR}
    DEPENDS ${_icon_sources} ${PROJECT_SOURCE_DIR}/tools/icon_file.h
            ${PROJECT_SOURCE_DIR}/resources/pictures.h
    COMMENT "Making the application icon with the build machine's compiler")
else()
  add_executable(huevex_make_icons ${_icon_sources})
  huevex_layer(huevex_make_icons tools)
  add_custom_command(
    OUTPUT ${HUEVEX_ICON_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${HUEVEX_ICON_DIR}
    COMMAND huevex_make_icons ${HUEVEX_ICON_DIR}
    DEPENDS huevex_make_icons
    COMMENT "Making the application icon")
endif()
add_custom_target(huevex_icons ALL DEPENDS ${HUEVEX_ICON_FILES})
