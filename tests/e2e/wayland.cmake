# End-to-end tests of the Linux program in a headless Wayland session: the real
# huevex binary on Xwayland in a private sway, picking from native Wayland
# surfaces through one screen source each. One sway at a time: every test
# takes the same lock. A machine that cannot run sway (not installed, not
# root) skips them with the reason.
find_package(Python3 COMPONENTS Interpreter)
if(NOT Python3_Interpreter_FOUND)
  message(WARNING "python3 missing: the Wayland end-to-end tests are left out")
  return()
endif()

set(wayland_artifacts ${CMAKE_CURRENT_BINARY_DIR}/wayland-artifacts)
file(MAKE_DIRECTORY ${wayland_artifacts})
set(wayland_args --huevex $<TARGET_FILE:huevex> --artifacts ${wayland_artifacts})
set(wayland_dir ${CMAKE_CURRENT_SOURCE_DIR}/wayland)

foreach(source screencopy portal)
  add_test(NAME wayland_${source}
           COMMAND ${Python3_EXECUTABLE} ${wayland_dir}/screen_source_test.py --source ${source}
                   ${wayland_args} --sim-frame $<TARGET_FILE:huevex_sim_frame>)
endforeach()
add_test(NAME wayland_no_source
         COMMAND ${Python3_EXECUTABLE} ${wayland_dir}/no_source_test.py ${wayland_args})
# Outputs of scales 1, 2 and 1.5 side by side, one added and one moved mid-run.
add_test(NAME wayland_outputs
         COMMAND ${Python3_EXECUTABLE} ${wayland_dir}/outputs_test.py ${wayland_args})
set_tests_properties(wayland_screencopy wayland_portal wayland_no_source wayland_outputs PROPERTIES
  TIMEOUT 300 LABELS "e2e;wayland" RESOURCE_LOCK sway SKIP_RETURN_CODE 77)

# GNOME Shell headless (a session of its own, a few seconds to start): the
# screen through the portal's screen cast, and through its Screenshot, the
# fallback. Skips where the shell or a private mount namespace cannot be had.
foreach(source screencast portal)
  set(name wayland_gnome_${source})
  if(source STREQUAL "screencast")
    set(name wayland_gnome)
  endif()
  add_test(NAME ${name}
           COMMAND ${Python3_EXECUTABLE} ${wayland_dir}/gnome_test.py --source ${source}
                   ${wayland_args} --sim-frame $<TARGET_FILE:huevex_sim_frame>
                   --colorboard $<TARGET_FILE:huevex_colorboard>)
  set_tests_properties(${name} PROPERTIES
    TIMEOUT 400 LABELS "e2e;wayland" RESOURCE_LOCK sway SKIP_RETURN_CODE 77)
endforeach()

# KWin (KDE Plasma) with a virtual output and KDE's desktop portal: the
# Screenshot forced, then the program's own choice (the ScreenCast first).
add_test(NAME wayland_kde
         COMMAND ${Python3_EXECUTABLE} ${wayland_dir}/kde_test.py ${wayland_args}
                 --colorboard $<TARGET_FILE:huevex_colorboard>)
set_tests_properties(wayland_kde PROPERTIES
  TIMEOUT 300 LABELS "e2e;wayland" RESOURCE_LOCK sway SKIP_RETURN_CODE 77)
