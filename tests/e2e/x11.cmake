# End-to-end tests of the Linux program: the real huevex binary under a private
# Xvfb each, with and without a window manager, driven with xdotool.
add_executable(huevex_x11_tool x11/x11_tool.cpp)
target_link_libraries(huevex_x11_tool PRIVATE X11::X11)

find_package(Python3 COMPONENTS Interpreter)
find_program(HUEVEX_XVFB Xvfb)
if(NOT Python3_Interpreter_FOUND OR NOT HUEVEX_XVFB)
  message(WARNING "Xvfb or python3 missing: the X11 end-to-end tests are left out")
  return()
endif()

set(x11_artifacts ${CMAKE_CURRENT_BINARY_DIR}/x11-artifacts)
file(MAKE_DIRECTORY ${x11_artifacts})
set(x11_args --huevex $<TARGET_FILE:huevex> --colorboard $<TARGET_FILE:huevex_colorboard>
             --tool $<TARGET_FILE:huevex_x11_tool> --xprobe $<TARGET_FILE:huevex_xprobe>
             --artifacts ${x11_artifacts})

foreach(wm none openbox)
  foreach(test pick lifetime)
    add_test(NAME x11_${test}_wm_${wm}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/x11/${test}_test.py
                     --wm ${wm} ${x11_args})
    set_tests_properties(x11_${test}_wm_${wm} PROPERTIES TIMEOUT 300 LABELS "e2e;x11")
  endforeach()
endforeach()

# Keys during a pick where the focus follows the mouse.
add_test(NAME x11_pick_wm_openbox-ffm
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/x11/pick_test.py
                 --wm openbox-ffm ${x11_args})
set_tests_properties(x11_pick_wm_openbox-ffm PROPERTIES TIMEOUT 300 LABELS "e2e;x11")

# The backend's pieces: pure helpers, and the backend against a private Xvfb
# (each test case gets its own server through the emulator wrapper).
find_package(GTest REQUIRED)
include(GoogleTest)
add_executable(huevex_x11_tests x11/x11_helpers_test.cpp x11/x11_backend_test.cpp)
target_link_libraries(huevex_x11_tests PRIVATE huevex_x11 huevex_app X11::Xtst
                                               GTest::gtest_main)
set_target_properties(huevex_x11_tests PROPERTIES CROSSCOMPILING_EMULATOR
  "${Python3_EXECUTABLE};${CMAKE_CURRENT_SOURCE_DIR}/under_xvfb.py;--")
gtest_discover_tests(huevex_x11_tests TEST_PREFIX x11. DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS "x11" ENVIRONMENT ${HUEVEX_TEST_ENVIRONMENT})

add_test(NAME x11_display COMMAND ${Python3_EXECUTABLE}
         ${CMAKE_CURRENT_SOURCE_DIR}/x11/display_test.py ${x11_args})
set_tests_properties(x11_display PROPERTIES TIMEOUT 120 LABELS "e2e;x11")

# The program's own system colors, for screen checks that involve them.
add_executable(huevex_sys_colors x11/sys_colors.cpp)
target_link_libraries(huevex_sys_colors PRIVATE huevex_soft)

# The main window's known pixels and the magnifier (toggling, following a
# pick, and the same pixels as the simulated desktop paints for one picture).
foreach(wm none openbox)
  add_test(NAME x11_main_window_wm_${wm}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/x11/main_window_test.py
                   --wm ${wm} ${x11_args} --sys-colors $<TARGET_FILE:huevex_sys_colors>)
  set_tests_properties(x11_main_window_wm_${wm} PROPERTIES TIMEOUT 300 LABELS "e2e;x11")
endforeach()
foreach(wm none openbox)
  add_test(NAME x11_magnifier_wm_${wm}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/x11/magnifier_test.py
                   --wm ${wm} ${x11_args} --sim-frame $<TARGET_FILE:huevex_sim_frame>)
  set_tests_properties(x11_magnifier_wm_${wm} PROPERTIES TIMEOUT 300 LABELS "e2e;x11")
endforeach()

# Faults around the program: the X server going away while it is busy, the
# window manager restarting or dying under it.
add_test(NAME x11_server_gone COMMAND ${Python3_EXECUTABLE}
         ${CMAKE_CURRENT_SOURCE_DIR}/x11/server_gone_test.py ${x11_args})
set_tests_properties(x11_server_gone PROPERTIES TIMEOUT 120 LABELS "e2e;x11")
add_test(NAME x11_wm_restart COMMAND ${Python3_EXECUTABLE}
         ${CMAKE_CURRENT_SOURCE_DIR}/x11/wm_restart_test.py ${x11_args})
set_tests_properties(x11_wm_restart PROPERTIES TIMEOUT 300 LABELS "e2e;x11")
add_test(NAME x11_screen_resize COMMAND ${Python3_EXECUTABLE}
         ${CMAKE_CURRENT_SOURCE_DIR}/x11/screen_resize_test.py ${x11_args})
set_tests_properties(x11_screen_resize PROPERTIES TIMEOUT 120 LABELS "e2e;x11")
# Monitors (RandR 1.5) need a real X server: Xorg with the dummy driver, run
# as root; skipped with the reason where it cannot start.
add_test(NAME x11_monitors COMMAND ${Python3_EXECUTABLE}
         ${CMAKE_CURRENT_SOURCE_DIR}/x11/monitors_test.py ${x11_args})
set_tests_properties(x11_monitors PROPERTIES TIMEOUT 120 LABELS "e2e;x11" SKIP_RETURN_CODE 77)
add_test(NAME x11_pointer_edge COMMAND ${Python3_EXECUTABLE}
         ${CMAKE_CURRENT_SOURCE_DIR}/x11/pointer_edge_test.py ${x11_args})
set_tests_properties(x11_pointer_edge PROPERTIES TIMEOUT 120 LABELS "e2e;x11")

# Other clients asking for the clipboard in wrong and hostile ways.
add_executable(huevex_hostile_requestor x11/hostile_requestor.cpp)
target_link_libraries(huevex_hostile_requestor PRIVATE X11::X11)
add_test(NAME x11_clipboard_hostile COMMAND ${Python3_EXECUTABLE}
         ${CMAKE_CURRENT_SOURCE_DIR}/x11/clipboard_hostile_test.py ${x11_args}
         --hostile $<TARGET_FILE:huevex_hostile_requestor>)
set_tests_properties(x11_clipboard_hostile PROPERTIES TIMEOUT 300 LABELS "e2e;x11")

# One whole session under valgrind's memcheck: no error, nothing definitely lost.
find_program(HUEVEX_VALGRIND valgrind)
if(HUEVEX_VALGRIND)
  add_test(NAME x11_memcheck COMMAND ${Python3_EXECUTABLE}
           ${CMAKE_CURRENT_SOURCE_DIR}/x11/memcheck_test.py ${x11_args}
           --valgrind ${HUEVEX_VALGRIND})
  set_tests_properties(x11_memcheck PROPERTIES TIMEOUT 600 LABELS "e2e;x11")
else()
  message(STATUS "valgrind missing: the X11 memcheck test is left out")
endif()
