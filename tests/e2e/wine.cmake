# End-to-end tests of the Windows program under Wine in Xvfb, registered when
# this (native) build is told where the cross-built program is:
#   -DHUEVEX_WINDOWS_EXE=/path/to/build-win/HUEVEX.exe
# One Wine prefix in this build tree is booted once (the setup test) and used
# by every other test in turn.
set(HUEVEX_WINDOWS_EXE "" CACHE FILEPATH "HUEVEX.exe to test under Wine")
if(NOT HUEVEX_WINDOWS_EXE)
  return()
endif()

find_package(X11 REQUIRED)
if(NOT TARGET X11::Xfixes)
  message(FATAL_ERROR "The Wine tests read the pointer's image through XFIXES: "
                      "install its headers (Debian and Ubuntu: libxfixes-dev)")
endif()
add_executable(huevex_xprobe ${CMAKE_CURRENT_SOURCE_DIR}/wine/xprobe.cpp)
target_link_libraries(huevex_xprobe PRIVATE X11::X11 X11::Xfixes)

set(_wine_scripts ${CMAKE_CURRENT_SOURCE_DIR}/wine)
set(_wine_work ${CMAKE_CURRENT_BINARY_DIR}/wine)
set(_wine_env
  HUEVEX_EXE=${HUEVEX_WINDOWS_EXE}
  HUEVEX_COLORBOARD=$<TARGET_FILE:huevex_colorboard>
  HUEVEX_XPROBE=$<TARGET_FILE:huevex_xprobe>
  HUEVEX_SIM_FRAME=$<TARGET_FILE:huevex_sim_frame>
  HUEVEX_WINE_WORK=${_wine_work}
  WINEPREFIX=${_wine_work}/prefix
  WINEDEBUG=-all)

# The program file itself: size, imports, resources. Needs no Wine.
add_test(NAME wine_exe_file COMMAND bash ${_wine_scripts}/exe_file.sh)
set_tests_properties(wine_exe_file PROPERTIES ENVIRONMENT "${_wine_env}" TIMEOUT 60 LABELS wine)

add_test(NAME wine_prefix_boot COMMAND bash ${_wine_scripts}/boot.sh)
set_tests_properties(wine_prefix_boot PROPERTIES
  ENVIRONMENT "${_wine_env}" TIMEOUT 300 LABELS "e2e;wine"
  FIXTURES_SETUP huevex_wine RESOURCE_LOCK huevex_wine)

foreach(_case backend pick_colors pick_buttons topmost close_box pick_high_dpi main_window
              magnifier clipboard_busy)
  add_test(NAME wine_${_case} COMMAND bash ${_wine_scripts}/${_case}.sh)
  set_tests_properties(wine_${_case} PROPERTIES
    ENVIRONMENT "${_wine_env}" TIMEOUT 300 LABELS "e2e;wine"
    FIXTURES_REQUIRED huevex_wine RESOURCE_LOCK huevex_wine)
endforeach()

# Two minutes of the magnifier repainting while the pointer moves: the
# program's GDI objects must not grow.
add_test(NAME wine_gdi_objects COMMAND bash ${_wine_scripts}/gdi_objects.sh)
set_tests_properties(wine_gdi_objects PROPERTIES
  ENVIRONMENT "${_wine_env}" TIMEOUT 420 LABELS "e2e;wine"
  FIXTURES_REQUIRED huevex_wine RESOURCE_LOCK huevex_wine)


# The Windows .zip as CPack makes it from the Windows build. Needs no Wine, but
# CPack may rebuild the program the other tests run.
add_test(NAME wine_windows_zip COMMAND bash ${_wine_scripts}/windows_zip.sh)
set_tests_properties(wine_windows_zip PROPERTIES
  ENVIRONMENT "${_wine_env}" TIMEOUT 300 LABELS wine RESOURCE_LOCK huevex_wine)
