# The screen capture module for Wayland sessions, loaded as the program loads
# it: a probe that runs steps against it (in a Wayland session, or against a
# stand-in desktop portal on a private session bus).
add_executable(huevex_capture_probe wayland/capture_probe.cpp)
target_include_directories(huevex_capture_probe PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(huevex_capture_probe PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(huevex_capture_probe huevex_wayland)
