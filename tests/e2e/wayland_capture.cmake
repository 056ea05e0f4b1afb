# The screen capture module for Wayland sessions, loaded as the program loads
# it: a probe that runs steps against it (in a Wayland session, or against a
# stand-in desktop portal on a private session bus).
add_executable(huevex_capture_probe wayland/capture_probe.cpp)
target_include_directories(huevex_capture_probe PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(huevex_capture_probe PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(huevex_capture_probe huevex_wayland)

# The portal sources and the global shortcut against a stand-in portal on a
# private session bus.
add_executable(huevex_fake_portal wayland/fake_portal.cpp wayland/fake_screencast.cpp
                                  wayland/fake_shortcuts.cpp)
target_link_libraries(huevex_fake_portal PRIVATE PkgConfig::HUEVEX_SYSTEMD PkgConfig::HUEVEX_PNG
                                                 PkgConfig::HUEVEX_PIPEWIRE)
find_package(Python3 COMPONENTS Interpreter)
find_program(HUEVEX_DBUS_RUN_SESSION dbus-run-session)
if(Python3_Interpreter_FOUND AND HUEVEX_DBUS_RUN_SESSION)
  add_test(NAME wayland_capture_portal
           COMMAND ${HUEVEX_DBUS_RUN_SESSION}
                   --config-file=${CMAKE_CURRENT_SOURCE_DIR}/wayland/private_bus.conf --
                   ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/wayland/portal_test.py
                   --probe $<TARGET_FILE:huevex_capture_probe>
                   --module $<TARGET_FILE:huevex_wayland> --fake $<TARGET_FILE:huevex_fake_portal>)
  set_tests_properties(wayland_capture_portal PROPERTIES TIMEOUT 120 LABELS "e2e;wayland")
  # The screen cast, over a private PipeWire the test starts; streams that
  # PipeWire refuses are given up under memcheck where valgrind is there.
  find_program(HUEVEX_VALGRIND valgrind)
  set(_memcheck)
  if(HUEVEX_VALGRIND)
    set(_memcheck --valgrind ${HUEVEX_VALGRIND})
  endif()
  add_test(NAME wayland_capture_screencast
           COMMAND ${HUEVEX_DBUS_RUN_SESSION}
                   --config-file=${CMAKE_CURRENT_SOURCE_DIR}/wayland/private_bus.conf --
                   ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/wayland/portal_test.py --cast
                   --probe $<TARGET_FILE:huevex_capture_probe>
                   --module $<TARGET_FILE:huevex_wayland> --fake $<TARGET_FILE:huevex_fake_portal>
                   ${_memcheck})
  set_tests_properties(wayland_capture_screencast PROPERTIES TIMEOUT 180 LABELS "e2e;wayland"
                       SKIP_RETURN_CODE 77)
else()
  message(WARNING "python3 or dbus-run-session missing: the portal test is left out")
endif()

# The compositor capture is checked inside a running sway session, which this
# build does not start: wayland/screencopy_check.py, run as the session's user
# with the probe, the module and the colorboard.

# The compositor capture against a stand-in compositor: ext-image-copy-capture
# and wlr-screencopy, and the failures a real one gives rarely on demand.
if(TARGET PkgConfig::HUEVEX_WL_SERVER AND Python3_Interpreter_FOUND)
  add_executable(huevex_fake_compositor wayland/fake_compositor.cpp)
  target_link_libraries(huevex_fake_compositor PRIVATE huevex_wayland_protocols
                                                       PkgConfig::HUEVEX_WL_SERVER)
  add_test(NAME wayland_capture_compositor
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/wayland/compositor_test.py
                   --probe $<TARGET_FILE:huevex_capture_probe>
                   --module $<TARGET_FILE:huevex_wayland>
                   --fake $<TARGET_FILE:huevex_fake_compositor>)
  set_tests_properties(wayland_capture_compositor PROPERTIES TIMEOUT 120 LABELS "e2e;wayland")
endif()
