# End-to-end tests of the Windows program under Wine in Xvfb, registered when
# this (native) build is told where the cross-built program is:
#   -DHUEVEX_WINDOWS_EXE=/path/to/build-win/HUEVEX.exe
# One Wine prefix in this build tree is booted once (the setup test) and used
# by every other test in turn.
set(HUEVEX_WINDOWS_EXE "" CACHE FILEPATH "HUEVEX.exe to test under Wine")
if(NOT HUEVEX_WINDOWS_EXE)
  return()
endif()

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_wine_work ${CMAKE_CURRENT_BINARY_DIR}/wine)
set(_wine_args --huevex ${HUEVEX_WINDOWS_EXE} --colorboard $<TARGET_FILE:huevex_colorboard>
               --xprobe $<TARGET_FILE:huevex_xprobe> --sim-frame $<TARGET_FILE:huevex_sim_frame>
               --prefix ${_wine_work}/prefix)
# wine_CASE runs wine/CASE.py, which keeps what it made in wine/CASE/ of the
# build tree; further arguments are more of the test's properties.
function(huevex_wine_test case timeout labels)
  add_test(NAME wine_${case}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/wine/${case}.py
                   ${_wine_args} --artifacts ${_wine_work})
  set_tests_properties(wine_${case} PROPERTIES TIMEOUT ${timeout} LABELS "${labels}" ${ARGN})
endfunction()

# The program file itself: size, imports, resources. Needs no Wine.
huevex_wine_test(exe_file 60 wine)

huevex_wine_test(prefix_boot 300 "e2e;wine" FIXTURES_SETUP huevex_wine RESOURCE_LOCK huevex_wine)

foreach(_case backend pick_colors pick_buttons pick_command topmost close_box pick_high_dpi
              main_window magnifier clipboard_busy)
  huevex_wine_test(${_case} 300 "e2e;wine" FIXTURES_REQUIRED huevex_wine
                   RESOURCE_LOCK huevex_wine)
endforeach()

# Two minutes of the magnifier repainting while the pointer moves: the
# program's GDI objects must not grow.
huevex_wine_test(gdi_objects 420 "e2e;wine" FIXTURES_REQUIRED huevex_wine
                 RESOURCE_LOCK huevex_wine)

# The Windows .zip as CPack makes it from the Windows build. Needs no Wine, but
# CPack may rebuild the program the other tests run.
huevex_wine_test(windows_zip 300 wine RESOURCE_LOCK huevex_wine)
