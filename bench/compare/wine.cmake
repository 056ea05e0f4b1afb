# The Windows programs bench/compare.py runs under Wine. Cross build only;
# included from the top-level CMakeLists.txt with HUEVEX_BENCH.
#
# The floor the Windows program is measured against: a plain Win32 window
# that samples the screen while the mouse is held, and nothing else.
add_executable(huevex_floor WIN32 ${CMAKE_CURRENT_LIST_DIR}/floor.cpp)
target_compile_definitions(huevex_floor PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_libraries(huevex_floor PRIVATE user32 gdi32)
set_target_properties(huevex_floor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(MINGW)
  # Linked like HUEVEX.exe: no runtime DLLs beside it, no symbols.
  target_link_options(huevex_floor PRIVATE -municode -static -static-libgcc -static-libstdc++ -s)
endif()

# The program measured from inside (tick_probe.cpp): the real program and
# backend with a meter between the window system and the toolkit.
add_executable(huevex_wine_bench ${CMAKE_CURRENT_LIST_DIR}/tick_probe.cpp)
target_link_libraries(huevex_wine_bench PRIVATE huevex_app huevex_win32)
set_target_properties(huevex_wine_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(MINGW)
  target_link_options(huevex_wine_bench PRIVATE -static -static-libgcc -static-libstdc++)
endif()
