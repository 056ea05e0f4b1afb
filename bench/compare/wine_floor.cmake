# The floor program for the Windows program's benchmarks under Wine
# (bench/compare.py): a plain Win32 window that samples the screen while the
# mouse is held, and nothing else. Cross build only; included from
# bench/wine/CMakeLists.txt.
add_executable(huevex_floor WIN32 ${CMAKE_CURRENT_LIST_DIR}/floor.cpp)
target_compile_definitions(huevex_floor PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_libraries(huevex_floor PRIVATE user32 gdi32)
set_target_properties(huevex_floor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(MINGW)
  # Linked like HUEVEX.exe: no runtime DLLs beside it, no symbols.
  target_link_options(huevex_floor PRIVATE -municode -static -static-libgcc -static-libstdc++ -s)
endif()
